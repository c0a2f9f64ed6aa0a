#include "localization/settings_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <system_error>

namespace orvandel {
namespace {

constexpr std::string_view kKey = "LANGUAGE";

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// `next_byte` returns the next byte as 0..255, or -1 at the end. Tokens are never kept
// whole: only as much as can still match the key, and the value is converted as
// its digits arrive.
template <typename Next>
std::optional<LanguageId> Scan(Next next_byte) {
    std::size_t consumed = 0;
    auto next = [&]() -> int { return consumed++ < kMaxSettingsBytes ? next_byte() : -1; };
    int c = next();
    for (;;) {
        while (c >= 0 && IsSpace(c)) {
            c = next();
        }
        if (c < 0) {
            return std::nullopt;
        }
        std::size_t matched = 0;
        bool is_key = true;
        for (; c >= 0 && !IsSpace(c); c = next()) {
            if (is_key && matched < kKey.size() && c == static_cast<unsigned char>(kKey[matched])) {
                ++matched;
            } else {
                is_key = false;
            }
        }
        if (is_key && matched == kKey.size()) {
            break;
        }
    }

    while (c >= 0 && IsSpace(c)) {
        c = next();
    }
    if (c < 0) {
        return std::nullopt;  // the key was the last token
    }
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = next();
    }
    // Magnitude limit: 2^31 for a negative value, 2^31 - 1 otherwise.
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    bool any_digit = false;
    for (; c >= '0' && c <= '9'; c = next()) {
        any_digit = true;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    if (!any_digit) {
        return std::nullopt;
    }
    return static_cast<LanguageId>(negative ? -magnitude : magnitude);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Writes and closes; false if any byte may be missing.
bool WriteAndClose(File file, std::string_view bytes) {
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    ok = std::fflush(file.get()) == 0 && ok;
    return std::fclose(file.release()) == 0 && ok;
}

std::filesystem::path TempNameBeside(const std::filesystem::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    const auto stamp =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::uint64_t unique = stamp ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
    std::array<char, 17> hex{};
    std::snprintf(hex.data(), hex.size(), "%016llx", static_cast<unsigned long long>(unique));
    return target.parent_path() /
           ("." + target.filename().string() + "." + std::string(hex.data()) + ".tmp");
}

enum class RenameResult { kDone, kFolderRefused, kWriteFailed };

// kFolderRefused: no temporary file could be made, or it could not replace the
// target (a sticky folder, say); writing in place may still work. kWriteFailed:
// the bytes did not fit on the disk, and a write in place would only truncate.
RenameResult ReplaceByRename(const std::filesystem::path& target, std::string_view bytes) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::filesystem::path temp = TempNameBeside(target);
        // "x": never open a file someone else created under the same name.
        File file(std::fopen(temp.c_str(), "wbx"));
        if (!file) {
            if (errno == EEXIST) {
                continue;
            }
            return RenameResult::kFolderRefused;
        }
        std::error_code ec;
        if (!WriteAndClose(std::move(file), bytes)) {
            std::filesystem::remove(temp, ec);
            return RenameResult::kWriteFailed;
        }
        std::filesystem::rename(temp, target, ec);
        if (ec) {
            std::filesystem::remove(temp, ec);
            return RenameResult::kFolderRefused;
        }
        return RenameResult::kDone;
    }
    return RenameResult::kFolderRefused;
}

bool ReplaceInPlace(const std::filesystem::path& target, std::string_view bytes) {
    File file(std::fopen(target.c_str(), "wb"));
    return file && WriteAndClose(std::move(file), bytes);
}

}  // namespace

std::string FormatLanguageLine(LanguageId id) {
    return std::string(kKey) + "\t" + std::to_string(id) + "\r\n";
}

std::optional<LanguageId> ParseLanguageSetting(std::string_view content) {
    std::size_t pos = 0;
    return Scan([&]() -> int {
        return pos < content.size() ? static_cast<unsigned char>(content[pos++]) : -1;
    });
}

std::optional<LanguageId> ParseLanguageSetting(std::istream& in) {
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr) {
        return std::nullopt;
    }
    return Scan([buf]() -> int {
        const auto c = buf->sbumpc();
        return std::char_traits<char>::eq_int_type(c, std::char_traits<char>::eof())
                   ? -1
                   : static_cast<unsigned char>(std::char_traits<char>::to_char_type(c));
    });
}

bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes) {
    // Replace the file a symbolic link points to, not the link itself.
    std::error_code ec;
    std::filesystem::path real = target;
    if (std::filesystem::is_symlink(target, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec) {
            real = resolved;
        }
    }
    // A device, pipe or folder under that name is not ours to replace or block on.
    const auto type = std::filesystem::status(real, ec).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::regular) {
        return false;
    }
    switch (ReplaceByRename(real, bytes)) {
        case RenameResult::kDone:
            return true;
        case RenameResult::kWriteFailed:
            return false;
        case RenameResult::kFolderRefused:
            break;
    }
    return ReplaceInPlace(real, bytes);
}

}  // namespace orvandel
