#include "about/link_text.h"

#include <QUrl>

namespace orvandel {
namespace {

constexpr std::u16string_view kOpen = u"<a href=\"";
constexpr std::u16string_view kOpenEnd = u"\">";
constexpr std::u16string_view kClose = u"</a>";

QString EscapedLines(std::u16string_view text) {
    QString html =
        QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

}  // namespace

bool IsWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
           !url.host().isEmpty();
}

QString LinkMarkupToRichText(std::u16string_view markup) {
    QString html;
    std::size_t pos = 0;
    while (pos < markup.size()) {
        const std::size_t open = markup.find(kOpen, pos);
        if (open == std::u16string_view::npos) {
            break;
        }
        const std::size_t href_begin = open + kOpen.size();
        const std::size_t href_end = markup.find(kOpenEnd, href_begin);
        if (href_end == std::u16string_view::npos) {
            break;
        }
        const std::size_t label_begin = href_end + kOpenEnd.size();
        const std::size_t label_end = markup.find(kClose, label_begin);
        if (label_end == std::u16string_view::npos) {
            break;
        }
        html += EscapedLines(markup.substr(pos, open - pos));
        const std::u16string_view href = markup.substr(href_begin, href_end - href_begin);
        const QString address =
            QString::fromUtf16(href.data(), static_cast<qsizetype>(href.size()));
        const QString label = EscapedLines(markup.substr(label_begin, label_end - label_begin));
        if (IsWebAddress(address)) {
            html += QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), label);
        } else {
            html += label;
        }
        pos = label_end + kClose.size();
    }
    html += EscapedLines(markup.substr(pos));
    return html;
}

}  // namespace orvandel
