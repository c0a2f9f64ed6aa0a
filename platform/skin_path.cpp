#include "platform/skin_path.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "build_config.h"
#include "text/utf.h"

namespace orvandel {
namespace {

bool IsRegularFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::filesystem::path ResolveSkinPath(std::u16string_view layout_path) {
    if (layout_path.empty()) {
        return {};
    }
    std::string utf8 = text::ToUtf8(layout_path);
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
    roots.emplace_back(ORVANDEL_SOURCE_RESOURCES);  // empty in a build for the packages

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
