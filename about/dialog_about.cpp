#include "about/dialog_about.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
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
    if (links) {
        label->setTextFormat(Qt::RichText);
        label->setText(LinkMarkupToRichText(element.text));
        // Only a click on the anchor itself activates it; the rest of the text is inert.
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        label->setOpenExternalLinks(false);
        connect(label, &QLabel::linkActivated, this, &CDialogAbout::OnLinkActivated);
        label->installEventFilter(this);
    } else {
        label->setTextFormat(Qt::PlainText);
        label->setText(ToQString(element.text));
        label->setTextInteractionFlags(Qt::NoTextInteraction);
    }
    return label;
}

void CDialogAbout::FitTextFont() {
    // At full size the longer sentences wrap to more lines than their rectangles
    // hold, which would cut the links off; one size for all three keeps the box even.
    QLabel* const labels[] = {m_version, m_support, m_legal};
    // 15 is a cell height, as in the main window: the em of the face that draws.
    // Sized on the Latin face in every language: the version, the links' addresses
    // and the legal line are Latin text in each, and look the same in all four.
    const int largest = SkinCellFont(kTextPixels, kTextWeight, SkinScript::kLatin).pixelSize();
    for (int pixels = largest; pixels >= kSmallestTextPixels; --pixels) {
        const QFont font = SkinFont(pixels, kTextWeight, FormsOfLanguage(m_language));
        bool fits = true;
        for (QLabel* label : labels) {
            label->setFont(font);
            fits = fits && label->heightForWidth(label->width()) <= label->height();
        }
        m_text_pixel_size = pixels;
        if (fits) {
            break;
        }
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
