#include "about/dialog_about.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <array>
#include <cmath>
#include <iterator>
#include <utility>

#include "about/link_text.h"
#include "controls/button_operate.h"
#include "controls/focus_ring.h"
#include "controls/skin_color.h"
#include "controls/skin_font.h"
#include "platform/qt/fonts.h"
#include "platform/qt/open_url.h"

namespace orvandel {
namespace {

constexpr int kTextPixels = 15;
constexpr int kSmallestTextPixels = 9;
constexpr int kTextWeight = 400;
constexpr ColorRef kOkCaptionColor = 0x00FFFFFF;
// Japanese wraps to one more line: the version text gets taller and the support
// text moves down to make room.
constexpr int kJapaneseVersionExtraHeight = 10;
constexpr int kJapaneseSupportExtraTop = 5;
constexpr int kLinkRingOutset = 4;

QRect ToRect(const UiTextElement& e) {
    return QRect(e.left, e.top, e.width, e.height);
}

// Around a link text, in the gap between the texts (8 px apart), off their ink.
QRect RingRect(const QLabel& label) {
    return label.geometry().adjusted(-kLinkRingOutset, -kLinkRingOutset, kLinkRingOutset,
                                     kLinkRingOutset);
}

QString ToQString(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

// One of the three texts as its label shows it: rich text and its rectangle.
struct AboutText {
    QString html;
    QRect rect;
};

std::array<AboutText, 3> AboutTexts(const UiStrings& s, LanguageId language) {
    const bool japanese = language == kJapanese;
    QRect version = ToRect(s.AboutVersionText);
    version.setHeight(version.height() + (japanese ? kJapaneseVersionExtraHeight : 0));
    QRect support = ToRect(s.AboutSupportText);
    support.translate(0, japanese ? kJapaneseSupportExtraTop : 0);
    // The legal line has no anchors: escaped lines.
    return {AboutText{LinkMarkupToRichText(s.AboutVersionText.text), version},
            AboutText{LinkMarkupToRichText(s.AboutSupportText.text), support},
            AboutText{LinkMarkupToRichText(s.AboutLegalText.text), ToRect(s.AboutLegalText)}};
}

QFont AboutFont(int pixels, LanguageId language) {
    return SkinFont(pixels, kTextWeight, FormsOfLanguage(language));
}

// Lines one WenQuanYi cell apart, as the rectangles were made for: the Noto CJK
// faces that draw the ideographs declare much taller lines.
QString PitchedHtml(const QString& html, int pixels, LanguageId language) {
    QFont cell{QString(kCjkFamily)};
    cell.setPixelSize(pixels);
    const int pitch = static_cast<int>(std::round(std::max(
        QFontMetricsF(AboutFont(pixels, language)).height(), QFontMetricsF(cell).height())));
    return QStringLiteral("<div style=\"line-height: %1px; -qt-line-height-type: fixed\">%2</div>")
        .arg(pitch)
        .arg(html);
}

// The largest size, from the Latin face's at a 15 px cell down, at which the three
// texts of `s` fit their rectangles.
int LargestFittingPixels(const UiStrings& s, LanguageId language) {
    const int largest = SkinCellFont(kTextPixels, kTextWeight, SkinScript::kLatin).pixelSize();
    const std::array<AboutText, 3> texts = AboutTexts(s, language);
    QLabel scratch;
    scratch.setTextFormat(Qt::RichText);
    scratch.setWordWrap(true);
    int pixels = largest;
    for (; pixels > kSmallestTextPixels; --pixels) {
        scratch.setFont(AboutFont(pixels, language));
        bool fits = true;
        for (const AboutText& t : texts) {
            scratch.setText(PitchedHtml(t.html, pixels, language));
            fits = fits && scratch.heightForWidth(t.rect.width()) <= t.rect.height();
        }
        if (fits)
            break;
    }
    return pixels;
}

}  // namespace

CDialogAbout::CDialogAbout(LanguageId language, QWidget* parent)
    : CDialogAbout(language, "setting.cfg", parent) {}

CDialogAbout::CDialogAbout(LanguageId language, std::filesystem::path settings_path,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_language(language),
      m_strings(std::move(settings_path)) {
    setModal(true);
    Initialise();
}

CDialogAbout::~CDialogAbout() = default;

void CDialogAbout::Initialise() {
    // Rewrites the settings file; an unknown id keeps the English set.
    m_strings.SetLanguage(m_language);

    setWindowTitle(ToQString(m_strings.AboutWindow.text));
    setFixedSize(m_strings.AboutWindow.width, m_strings.AboutWindow.height);

    const bool japanese = m_language == kJapanese;
    m_version = AddTextLabel("aboutVersionText", m_strings.AboutVersionText, 0,
                             japanese ? kJapaneseVersionExtraHeight : 0, true);
    m_support = AddTextLabel("aboutSupportText", m_strings.AboutSupportText,
                             japanese ? kJapaneseSupportExtraTop : 0, 0, true);
    m_legal = AddTextLabel("aboutLegalText", m_strings.AboutLegalText, 0, 0, false);
    FitTextFont();

    m_ok_button = new CButtonOperate(this);
    m_ok_button->setObjectName(QStringLiteral("aboutOkButton"));
    const UiImageElement& ok = m_strings.AboutOkButton.normal();
    m_ok_button->setGeometry(ok.left, ok.top, ok.width, ok.height);
    for (int state = 0; state < 4; ++state) {
        m_ok_button->SetStateImage(
            m_strings.AboutOkButton.states[static_cast<std::size_t>(state)].path, state);
    }
    m_ok_button->SetCaptionForms(FormsOfLanguage(m_language));
    m_ok_button->SetCaption(ok.label);
    m_ok_button->setAccessibleName(ToQString(ok.label));
    m_ok_button->SetCaptionColor(kOkCaptionColor);
    m_ok_button->SetFocusRingColor(m_strings.AccentLine.color);
    m_ok_button->SetShown(true);
    m_ok_button->show();
    m_ok_button->setFocus();
    connect(m_ok_button, &CButtonOperate::clicked, this, &QDialog::accept);
}

QLabel* CDialogAbout::AddTextLabel(const char* name, const UiTextElement& element, int extra_top,
                                   int extra_height, bool links) {
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    QRect rect = ToRect(element);
    rect.translate(0, extra_top);
    rect.setHeight(rect.height() + extra_height);
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setAutoFillBackground(false);
    // Rich text in both cases: FitTextFont gives the lines a fixed pitch.
    label->setTextFormat(Qt::RichText);
    if (links) {
        // Only a click on the anchor itself activates it; the rest of the text is inert.
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        label->setOpenExternalLinks(false);
        connect(label, &QLabel::linkActivated, this, &CDialogAbout::OnLinkActivated);
        label->installEventFilter(this);
    } else {
        label->setTextInteractionFlags(Qt::NoTextInteraction);
    }
    return label;
}

void CDialogAbout::FitTextFont() {
    // At full size the longer sentences wrap to more lines than their rectangles
    // hold, which would cut the links off. One size for the three texts keeps the
    // box even, and one size for all four languages keeps its Latin text (the
    // version, the link names, the legal line) the same in each: the largest at
    // which every language's texts fit.
    int pixels = LargestFittingPixels(m_strings, m_language);
    for (const LanguageId other : {kEnglish, kSimplifiedChinese, kTraditionalChinese, kJapanese}) {
        if (other == m_language)
            continue;
        UiStrings strings;  // built, never saved
        strings.BuildLanguage(other);
        pixels = std::min(pixels, LargestFittingPixels(strings, other));
    }
    m_text_pixel_size = pixels;
    QLabel* const labels[] = {m_version, m_support, m_legal};
    const std::array<AboutText, 3> texts = AboutTexts(m_strings, m_language);
    for (std::size_t i = 0; i < std::size(labels); ++i) {
        labels[i]->setFont(AboutFont(pixels, m_language));
        labels[i]->setText(PitchedHtml(texts[i].html, pixels, m_language));
    }
}

void CDialogAbout::OnLinkActivated(const QString& address) {
    if (IsWebAddress(address)) {
        OpenUrl(address);
    }
}

void CDialogAbout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    for (const UiTextElement* area : {&m_strings.AboutTopArea, &m_strings.AboutFooterBar}) {
        painter.fillRect(ToRect(*area), ToQColor(area->color));
    }
    if (m_focused_link != nullptr) {
        DrawFocusRing(painter, QRectF(RingRect(*m_focused_link)),
                      ToQColor(m_strings.AccentLine.color));
    }
}

bool CDialogAbout::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    if (label != nullptr &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        const bool by_keys = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
        if (event->type() == QEvent::FocusIn && by_keys) {
            m_focused_link = label;
        } else if (event->type() == QEvent::FocusOut && m_focused_link == label &&
                   reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            m_focused_link = nullptr;
        }
        update(RingRect(*label));
    }
    return QDialog::eventFilter(watched, event);
}

void CDialogAbout::keyPressEvent(QKeyEvent* event) {
    // Enter confirms like the OK button, as in any message box without a default button.
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace orvandel
