// Turns the About texts, which carry their links as <a href="…">label</a>, into
// QLabel rich text. Everything outside an anchor is shown literally.
#pragma once

#include <QString>
#include <string_view>

namespace orvandel {

// Text outside anchors is HTML-escaped and its line feeds become line breaks.
// An anchor whose address is not http(s) is shown as its plain label; an
// unterminated anchor is shown literally.
QString LinkMarkupToRichText(std::u16string_view markup);

// True for an absolute http or https address: the only kind the About links open.
bool IsWebAddress(const QString& address);

}  // namespace orvandel
