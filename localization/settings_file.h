// The file side of the language setting: the one line the program writes, the
// tolerant reader, and a write that other processes never see half done.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "localization/language.h"

namespace orvandel {

// "LANGUAGE", a tab, the decimal id, CR, LF: the same bytes on every platform.
std::string FormatLanguageLine(LanguageId id);

// The setting is one short line; reading stops here so that no file can stall start-up.
inline constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

// Reads white-space separated tokens; the token after the first "LANGUAGE" is the
// value, converted like base-10 strtol (sign, leading digits, rest ignored).
// Empty when there is no key, no value, no leading digits, or the value does not
// fit in 32 bits. Memory use does not grow with the input; input past
// kMaxSettingsBytes is not read.
std::optional<LanguageId> ParseLanguageSetting(std::string_view content);
std::optional<LanguageId> ParseLanguageSetting(std::istream& in);

// Replaces the file's contents with `bytes`. Writes a temporary file beside it and
// renames it over the target, so a concurrent reader sees the old or the new
// contents; if the folder refuses a new file, writes the file in place. Follows a
// symbolic link; leaves anything that is not a regular file alone. False when the
// bytes could not be written.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes);

}  // namespace orvandel
