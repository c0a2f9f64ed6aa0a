#include "platform/skin_path.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "build_config.h"

namespace orvandel {
namespace {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD so that a bad name can
// never turn into a different, valid one.
std::string ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool IsRegularFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::filesystem::path ResolveSkinPath(std::u16string_view layout_path) {
    if (layout_path.empty()) {
        return {};
    }
    std::string utf8 = ToUtf8(layout_path);
    for (char& ch : utf8) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    const std::filesystem::path relative(reinterpret_cast<const char8_t*>(utf8.c_str()));
    if (relative.is_absolute()) {
        return IsRegularFile(relative) ? relative : std::filesystem::path{};
    }

    std::vector<std::filesystem::path> roots;
    std::error_code ec;
    roots.push_back(std::filesystem::current_path(ec));
    roots.emplace_back(ORVANDEL_DATA_DIR);
    if (const char* env = std::getenv("ORVANDEL_SOURCE_RESOURCES"); env != nullptr && *env) {
        roots.emplace_back(env);
    }
    roots.emplace_back(ORVANDEL_SOURCE_RESOURCES);

    for (const auto& root : roots) {
        if (root.empty()) {
            continue;
        }
        std::filesystem::path candidate = root / relative;
        if (IsRegularFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace orvandel
