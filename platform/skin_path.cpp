#include "platform/skin_path.h"

#include <cstdlib>
#include <fstream>
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

// The source folder a build tree's cache names; a cache line is short, and the
// cache of a build tree is small, so a bounded read suffices.
std::filesystem::path SourceDirOfCache(const std::filesystem::path& cache) {
    constexpr std::string_view kKey = "Orvandel_SOURCE_DIR:STATIC=";
    constexpr std::size_t kMaxLines = 100'000;
    std::ifstream in(cache);
    std::string line;
    for (std::size_t n = 0; n < kMaxLines && std::getline(in, line); ++n) {
        if (line.size() > kKey.size() && line.compare(0, kKey.size(), kKey) == 0) {
            return std::filesystem::path(line.substr(kKey.size()));
        }
    }
    return {};
}

std::filesystem::path RunningExecutable() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path{} : exe;
}

}  // namespace

std::filesystem::path BuildTreeSourceResources(const std::filesystem::path& executable) {
    if (executable.empty() || !executable.is_absolute()) {
        return {};
    }
    std::error_code ec;
    for (std::filesystem::path dir = executable.parent_path();; dir = dir.parent_path()) {
        const std::filesystem::path cache = dir / "CMakeCache.txt";
        if (IsRegularFile(cache)) {
            const std::filesystem::path source = SourceDirOfCache(cache);
            if (source.empty() || !std::filesystem::is_directory(source / "resources", ec)) {
                return {};
            }
            return source / "resources";
        }
        if (dir == dir.root_path() || dir.empty()) {
            return {};
        }
    }
}

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
    roots.push_back(BuildTreeSourceResources(RunningExecutable()));

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
