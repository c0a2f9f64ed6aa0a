// The file side of the language setting: the one line the program writes and the
// tolerant reader. Reading and writing the file itself is platform/safe_file's.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "localization/language.h"
#include "platform/safe_file.h"  // ReplaceFileContents, for the writer's callers

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

}  // namespace orvandel
