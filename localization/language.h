// Interface languages. The numbers are stored in setting.cfg and must not change.
#pragma once

#include <cstdint>

namespace orvandel {

using LanguageId = std::int32_t;

inline constexpr LanguageId kEnglish = 9;
inline constexpr LanguageId kSimplifiedChinese = 4;
inline constexpr LanguageId kTraditionalChinese = 31748;  // 0x7C04
inline constexpr LanguageId kJapanese = 17;
inline constexpr LanguageId kDefaultLanguage = kEnglish;

// True for the four languages that have a text set.
constexpr bool HasTextSet(LanguageId id) {
    return id == kEnglish || id == kSimplifiedChinese || id == kTraditionalChinese ||
           id == kJapanese;
}

constexpr bool IsChinese(LanguageId id) {
    return id == kSimplifiedChinese || id == kTraditionalChinese;
}

// Languages whose texts are drawn mostly by the CJK face.
constexpr bool UsesCjkFace(LanguageId id) {
    return IsChinese(id) || id == kJapanese;
}

}  // namespace orvandel
