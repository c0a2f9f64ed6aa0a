// Finds a skin file named by the layout ("img\finder_win_....png") on disk.
#pragma once

#include <filesystem>
#include <string_view>

namespace orvandel {

// Maps '\' to '/' and looks for the file, in order: the working directory, the
// installed data folder, $ORVANDEL_SOURCE_RESOURCES when set (tests), and, for a
// program run from its build tree, that tree's sources' resources/ (found at run
// time, so no installed file names a source or build folder). An absolute path is
// taken as it is. Returns an empty path when no regular file is found.
std::filesystem::path ResolveSkinPath(std::u16string_view layout_path);

// The resources/ folder of the sources an executable was built from, when the
// executable lies in a CMake build tree (a folder above it holds CMakeCache.txt
// naming this project's source folder); empty otherwise, as for an installed copy.
std::filesystem::path BuildTreeSourceResources(const std::filesystem::path& executable);

}  // namespace orvandel
