#include "localization/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

namespace orvandel {
namespace {

constexpr std::string_view kKey = "LANGUAGE";

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// What the byte source gives past its bytes: kEnd when the input is over, or
// ends cleanly at the read limit; kCut when the limit falls inside a token.
constexpr int kEnd = -1;
constexpr int kCut = -2;

// `next_byte` returns the next byte as 0..255, or -1 at the end. Tokens are never kept
// whole: only as much as can still match the key, and the value is converted as
// its digits arrive.
template <typename Next>
std::optional<LanguageId> Scan(Next next_byte) {
    std::size_t consumed = 0;
    int previous = ' ';
    // The byte after the limit is read only to tell whether the token the limit
    // ends is whole: "LANGUAGE\t31748" across the limit must not read as 317.
    auto next = [&]() -> int {
        if (consumed > kMaxSettingsBytes) {
            return kEnd;
        }
        const int c = next_byte();
        if (consumed++ < kMaxSettingsBytes) {
            previous = c;
            return c;
        }
        return c < 0 || IsSpace(c) || IsSpace(previous) ? kEnd : kCut;
    };
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
        if (c == kCut) {
            return std::nullopt;  // the limit cut this token, and nothing follows it
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
    // Letters after the digits are ignored, but only a whole token is a value.
    while (c >= 0 && !IsSpace(c)) {
        c = next();
    }
    if (c == kCut) {
        return std::nullopt;
    }
    return static_cast<LanguageId>(negative ? -magnitude : magnitude);
}

// Owns one descriptor; the file classes of the standard library cannot open with
// O_NOFOLLOW or report the file they opened.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now; false when the system reports that written bytes may be lost.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Removes a temporary file unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    const std::filesystem::path& Path() const { return m_path; }
    void Set(std::filesystem::path path) { m_path = std::move(path); }
    void Keep() { m_path.clear(); }

private:
    std::filesystem::path m_path;
};

bool WriteAllAt(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
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

// A new file beside `target` that nobody else has opened ("x": never a file someone
// else created under the same name). Invalid when the folder refuses it.
Fd CreateTempBeside(const std::filesystem::path& target, mode_t mode, TempFile& name) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::filesystem::path temp = TempNameBeside(target);
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd.Valid()) {
            name.Set(std::move(temp));
            return fd;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return Fd(-1);
}

enum class Outcome { kDone, kFailed, kRetry };

// The file keeps its contents' bytes at the front and is cut to length after, so a
// reader never meets an empty file, only the old line or the new one (a shorter
// line leaves the old tail for a moment, past its own line end).
bool WriteInPlace(Fd& fd, std::string_view bytes) {
    bool ok = WriteAllAt(fd.Get(), bytes);
    ok = ok && ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) == 0;
    return fd.Close() && ok;
}

// ACLs and labels live in extended attributes, which a new file would not carry.
bool HasExtendedAttributes(int fd) {
    return ::flistxattr(fd, nullptr, 0) > 0;
}

// Replaces `target` (opened as `existing`, with status `st`) by a renamed new file,
// so that readers see the old or the new contents. Only when the new file has the
// same mode and owner and nothing else names the old one; false otherwise, with
// nothing changed.
bool ReplaceByRename(const std::filesystem::path& target, int existing, const struct stat& st,
                     std::string_view bytes) {
    if (st.st_nlink != 1 || HasExtendedAttributes(existing)) {
        return false;
    }
    TempFile name;
    Fd temp = CreateTempBeside(target, S_IRUSR | S_IWUSR, name);
    if (!temp.Valid()) {
        return false;
    }
    struct stat made {};
    if (::fstat(temp.Get(), &made) != 0) {
        return false;
    }
    // The owner first: a change of owner clears set-id bits.
    if ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) &&
        ::fchown(temp.Get(), st.st_uid, st.st_gid) != 0) {
        return false;
    }
    if (::fchmod(temp.Get(), st.st_mode & 07777) != 0 || ::fstat(temp.Get(), &made) != 0 ||
        made.st_uid != st.st_uid || made.st_gid != st.st_gid ||
        (made.st_mode & 07777) != (st.st_mode & 07777)) {
        return false;
    }
    if (!WriteAllAt(temp.Get(), bytes) || !temp.Close()) {
        return false;
    }
    // The name must still be the file that was checked.
    struct stat now {};
    if (::lstat(target.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        return false;
    }
    if (::rename(name.Path().c_str(), target.c_str()) != 0) {
        return false;
    }
    name.Keep();
    return true;
}

// Rewrites the regular file at `target`, found by lstat as `seen`. Opening it for
// writing is the permission test: a file this user may not write is left as it was.
Outcome RewriteExisting(const std::filesystem::path& target, const struct stat& seen,
                        std::string_view bytes) {
    // O_NONBLOCK: a pipe swapped in under the name must not block the open.
    Fd fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        return errno == ELOOP ? Outcome::kRetry : Outcome::kFailed;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        return Outcome::kFailed;
    }
    if (st.st_dev != seen.st_dev || st.st_ino != seen.st_ino) {
        return Outcome::kRetry;  // the name changed between the look and the open
    }
    if (!S_ISREG(st.st_mode)) {
        return Outcome::kFailed;
    }
    if (ReplaceByRename(target, fd.Get(), st, bytes)) {
        return Outcome::kDone;
    }
    return WriteInPlace(fd, bytes) ? Outcome::kDone : Outcome::kFailed;
}

// Creates the missing file at `target` with the mode a plain create gives it. The
// whole file appears at once, and never over a file that appeared meanwhile.
Outcome CreateMissing(const std::filesystem::path& target, std::string_view bytes) {
    const mode_t mode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
    TempFile name;
    Fd temp = CreateTempBeside(target, mode, name);
    if (temp.Valid()) {
        if (!WriteAllAt(temp.Get(), bytes) || !temp.Close()) {
            return Outcome::kFailed;
        }
        if (::renameat2(AT_FDCWD, name.Path().c_str(), AT_FDCWD, target.c_str(),
                        RENAME_NOREPLACE) == 0) {
            name.Keep();
            return Outcome::kDone;
        }
        if (errno == EEXIST) {
            return Outcome::kRetry;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return Outcome::kFailed;
        }
        // The file system cannot rename without replacing; a hard link can.
        if (::link(name.Path().c_str(), target.c_str()) == 0) {
            return Outcome::kDone;  // the temporary name goes with `name`
        }
        if (errno == EEXIST) {
            return Outcome::kRetry;
        }
    }
    // No temporary file beside it (a name near the length limit, say): create the
    // file itself, still never over one that exists.
    Fd fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.Valid()) {
        return errno == EEXIST ? Outcome::kRetry : Outcome::kFailed;
    }
    if (!WriteAllAt(fd.Get(), bytes) || !fd.Close()) {
        ::unlink(target.c_str());
        return Outcome::kFailed;
    }
    return Outcome::kDone;
}

// A link is followed only when this user made it: anyone who may write the folder
// could otherwise point the settings file at a file of this user's, and root's
// writes would reach any file at all.
bool MayFollow(const struct stat& link) {
    const uid_t user = ::geteuid();
    return user != 0 && link.st_uid == user;
}

std::optional<std::filesystem::path> LinkTarget(const std::filesystem::path& link) {
    std::error_code ec;
    const std::filesystem::path to = std::filesystem::read_symlink(link, ec);
    if (ec || to.empty()) {
        return std::nullopt;
    }
    return to.is_absolute() ? to : link.parent_path() / to;
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
    constexpr int kMaxSteps = 8;  // links followed plus races retried
    std::filesystem::path current = target;
    for (int step = 0; step < kMaxSteps; ++step) {
        struct stat seen {};
        Outcome outcome = Outcome::kFailed;
        if (::lstat(current.c_str(), &seen) != 0) {
            if (errno != ENOENT) {
                return false;
            }
            outcome = CreateMissing(current, bytes);
        } else if (S_ISLNK(seen.st_mode)) {
            if (!MayFollow(seen)) {
                return false;
            }
            const auto next = LinkTarget(current);
            struct stat again {};
            if (!next || ::lstat(current.c_str(), &again) != 0) {
                return false;
            }
            if (again.st_dev == seen.st_dev && again.st_ino == seen.st_ino) {
                current = *next;  // the link that was read is the one that was checked
            }
            continue;
        } else if (S_ISREG(seen.st_mode)) {
            outcome = RewriteExisting(current, seen, bytes);
        } else {
            return false;  // a device, pipe or folder is not ours to replace or block on
        }
        if (outcome != Outcome::kRetry) {
            return outcome == Outcome::kDone;
        }
    }
    return false;
}

}  // namespace orvandel
