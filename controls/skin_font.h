// The skin font's script and CJK forms for a language.
#pragma once

#include "localization/language.h"
#include "platform/qt/fonts.h"

namespace orvandel {

inline SkinScript ScriptOfLanguage(LanguageId id) {
    return UsesCjkFace(id) ? SkinScript::kCjk : SkinScript::kLatin;
}

// Japanese forms for Japanese, the Simplified ones for Simplified Chinese, and the
// Traditional ones otherwise (Latin text has no ideographs to draw).
inline CjkForms FormsOfLanguage(LanguageId id) {
    return id == kJapanese            ? CjkForms::kJapanese
           : id == kSimplifiedChinese ? CjkForms::kSimplified
                                      : CjkForms::kTraditional;
}

}  // namespace orvandel
