// Finds a skin file named by the layout ("img\finder_win_....png") on disk.
#pragma once

#include <filesystem>
#include <string_view>

namespace orvandel {

// Maps '\' to '/' and looks for the file, in order: the working directory, the
// installed data folder, $ORVANDEL_SOURCE_RESOURCES when set (tests), and, in a
// development build, the source tree's resources/ (so build-tree runs find the
// skin; a build for the packages has no such fallback). An absolute
// path is taken as it is. Returns an empty path when no regular file is found.
std::filesystem::path ResolveSkinPath(std::u16string_view layout_path);

}  // namespace orvandel
