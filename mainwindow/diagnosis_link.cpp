#include "mainwindow/diagnosis_link.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "controls/button_operate.h"
#include "controls/enter_key.h"
#include "controls/focus_ring.h"
#include "controls/skin_bitmap.h"
#include "controls/skin_color.h"
#include "controls/skin_font.h"
#include "localization/diagnosis_text.h"
#include "localization/ui_strings.h"
#include "platform/qt/fonts.h"

namespace orvandel {

namespace {
// The cell height of the page's body text.
constexpr int kLinkPixels = 16;
// The box: its text's cell height, margins, and the page's text colour.
constexpr int kBoxTextPixels = 15;
constexpr int kBoxMargin = 15;
constexpr int kBoxIconGap = 10;
constexpr int kBoxFooterHeight = 50;
constexpr int kBoxOkRight = 12;  // as the About box's OK button
constexpr int kBoxOkTop = 10;
// The tallest box still fits below the window's title on a 768-pixel screen.
constexpr int kBoxMaxHeight = 600;
const QColor kBoxTextColor(30, 30, 30);
constexpr ColorRef kBoxCaptionWhite = 0xFFFFFF;
}  // namespace

CDiagnosisLink::CDiagnosisLink(const UiStrings& strings, QWidget* parent)
    : QPushButton(parent), m_strings(strings) {
    setObjectName(QStringLiteral("diagnosisLink"));
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &CDiagnosisLink::ShowBox);
    // Named from the start, so that a screen reader never meets an unnamed button.
    ApplyTexts();
    hide();
}

void CDiagnosisLink::ShowFor(std::vector<Verdict> verdicts) {
    m_verdicts = std::move(verdicts);
    ApplyTexts();
    show();
}

void CDiagnosisLink::HideLink() {
    m_verdicts.clear();
    ApplyTexts();
    hide();
}

void CDiagnosisLink::ApplyTexts() {
    const UiTextElement& area = m_strings.Diagnosis.area;
    setGeometry(area.left, area.top, area.width, area.height);
    const LanguageId language = m_strings.Language();
    QFont font = SkinCellFont(kLinkPixels, QFont::Normal, ScriptOfLanguage(language),
                              FormsOfLanguage(language));
    font.setUnderline(true);
    setFont(font);
    const ColorRef c = area.color;
    setStyleSheet(QStringLiteral("QPushButton { color: rgb(%1, %2, %3); background: transparent; "
                                 "border: none; padding: 0; }")
                      .arg(c & 0xFF)
                      .arg((c >> 8) & 0xFF)
                      .arg((c >> 16) & 0xFF));
    const QString why = QString::fromStdU16String(m_strings.Diagnosis.why_label);
    setText(why);
    setAccessibleName(why);
    const QString first = FirstLine();
    setToolTip(first);
    setAccessibleDescription(first);
}

void CDiagnosisLink::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    // The flat, borderless style draws no focus of its own: a keyboard user sees
    // the ring every other control draws.
    if (hasFocus()) {
        QPainter painter(this);
        DrawFocusRing(painter, QRectF(rect()), FocusAccentColor());
    }
}

void CDiagnosisLink::keyPressEvent(QKeyEvent* event) {
    // A push button that is not a default one leaves Return to its dialog.
    if (IsEnterKey(event)) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

QString CDiagnosisLink::FirstLine() const {
    return m_verdicts.empty() ? QString::fromStdU16String(m_strings.DiagnosisNoCause)
                              : QString::fromStdU16String(DiagnosisLine(m_strings, m_verdicts[0]));
}

QString CDiagnosisLink::BoxText() const {
    QStringList paragraphs;
    for (const Verdict& v : m_verdicts) {
        paragraphs << QString::fromStdU16String(DiagnosisSummary(m_strings, v)) + u'\n' +
                          QString::fromStdU16String(DiagnosisFix(m_strings, v));
    }
    if (m_verdicts.empty()) {
        paragraphs << QString::fromStdU16String(m_strings.DiagnosisNoCause)
                   << QString::fromStdU16String(m_strings.DiagnosisChecked);
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

void CDiagnosisLink::ShowBox() {
    auto* box = new CDiagnosisBox(m_strings, BoxText(), window());  // deleted on close
    box->open();
}

CDiagnosisBox::CDiagnosisBox(const UiStrings& strings, const QString& text, QWidget* parent)
    : QDialog(parent), m_strings(strings) {
    setObjectName(QStringLiteral("diagnosisBox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromStdU16String(strings.Diagnosis.box_title));

    const UiImageElement& icon = strings.WarningIcon;
    const int text_left = kBoxMargin + icon.width + kBoxIconGap;
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("diagnosisBoxText"));
    // The values come from the system (interface and program names): never markup.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setText(text);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setFont(SkinCellFont(kBoxTextPixels, QFont::Normal,
                                 ScriptOfLanguage(strings.Language()),
                                 FormsOfLanguage(strings.Language())));
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, kBoxTextColor);
    m_text->setPalette(palette);
    const int text_width = kWidth - text_left - kBoxMargin;
    const int text_height = m_text->heightForWidth(text_width);
    const int top_height = std::min(kBoxMaxHeight - kBoxFooterHeight,
                                    std::max(icon.height, text_height) + 2 * kBoxMargin);
    m_text->setGeometry(text_left, kBoxMargin, text_width, top_height - 2 * kBoxMargin);
    m_footer_top = top_height;
    setFixedSize(kWidth, top_height + kBoxFooterHeight);

    m_ok = new CButtonOperate(this);
    m_ok->setObjectName(QStringLiteral("diagnosisBoxOk"));
    const UiButtonImages& ok = strings.AboutOkButton;
    m_ok->setGeometry(kWidth - kBoxOkRight - ok.normal().width, m_footer_top + kBoxOkTop,
                      ok.normal().width, ok.normal().height);
    for (int state = 0; state < 4; ++state)
        m_ok->SetStateImage(ok.states[static_cast<std::size_t>(state)].path, state);
    m_ok->SetCaptionForms(FormsOfLanguage(strings.Language()));
    m_ok->SetCaption(ok.normal().label);
    m_ok->setAccessibleName(QString::fromStdU16String(ok.normal().label));
    m_ok->SetCaptionColor(kBoxCaptionWhite);
    m_ok->SetFocusRingColor(strings.AccentLine.color);
    m_ok->setFocusPolicy(Qt::TabFocus);
    m_ok->setFocus();
    connect(m_ok, &CButtonOperate::clicked, this, &QDialog::accept);
    setAccessibleDescription(text);
}

void CDiagnosisBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const UiTextElement& footer = m_strings.FooterBar;
    painter.fillRect(QRect(0, m_footer_top, width(), height() - m_footer_top),
                     ToQColor(footer.color));
    const UiImageElement& icon = m_strings.WarningIcon;
    const SkinBitmapSet image = LoadSkinBitmapSet(icon.path, QSize(icon.width, icon.height));
    if (!image.isNull()) {
        DrawSkinBitmap(painter, QPoint(kBoxMargin, kBoxMargin),
                       image.For(PaintedDeviceRatio(painter)), QSize(icon.width, icon.height));
    }
}

}  // namespace orvandel
