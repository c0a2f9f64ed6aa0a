// The file side of the language setting: the one line the program writes, the
// tolerant reader, and a write that keeps the file's owner, mode and links and
// never takes over a file or a link that is not this user's.
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
// fit in 32 bits. Memory use does not grow with the input. Only the first
// kMaxSettingsBytes bytes are read, and one more to learn whether the token there
// is whole: a token the limit cuts counts as absent, so a value is never read
// from its first digits only.
std::optional<LanguageId> ParseLanguageSetting(std::string_view content);
std::optional<LanguageId> ParseLanguageSetting(std::istream& in);

// Replaces the file's contents with `bytes`; false when they were not written, and
// then the file is as it was. A file this user may not write is never replaced,
// whatever the folder allows. The file keeps its inode's mode, owner and links:
// it is replaced by a renamed new file (so a concurrent reader sees the old or the
// new contents) only when the new file gets the same mode, owner and group and
// nothing else names the old one; otherwise it is written in place. A missing file
// appears whole, never over one created meanwhile.
// A symbolic link is followed only when this user owns it and is not root; it is
// kept, and a missing target is created. Any other link, and anything that is not
// a regular file, is left alone.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes);

}  // namespace orvandel
