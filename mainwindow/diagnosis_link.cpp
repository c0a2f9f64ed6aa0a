#include "mainwindow/diagnosis_link.h"

#include <QMessageBox>
#include <QPainter>

#include "controls/focus_ring.h"

#include "localization/diagnosis_text.h"
#include "localization/ui_strings.h"
#include "platform/qt/fonts.h"

namespace orvandel {

namespace {
// The cell height of the page's body text.
constexpr int kLinkPixels = 16;
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

void CDiagnosisLink::SetVerdicts(std::vector<Verdict> verdicts) {
    m_verdicts = std::move(verdicts);
    ApplyTexts();
    setVisible(!m_verdicts.empty());
}

void CDiagnosisLink::ApplyTexts() {
    const UiTextElement& area = m_strings.Diagnosis.area;
    setGeometry(area.left, area.top, area.width, area.height);
    QFont font =
        SkinCellFont(kLinkPixels, QFont::Normal,
                     UsesCjkFace(m_strings.Language()) ? SkinScript::kCjk : SkinScript::kLatin);
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

QString CDiagnosisLink::FirstLine() const {
    return m_verdicts.empty() ? QString()
                              : QString::fromStdU16String(DiagnosisLine(m_strings, m_verdicts[0]));
}

QString CDiagnosisLink::BoxText() const {
    QStringList paragraphs;
    for (const Verdict& v : m_verdicts) {
        paragraphs << QString::fromStdU16String(DiagnosisSummary(m_strings, v)) + u'\n' +
                          QString::fromStdU16String(DiagnosisFix(m_strings, v));
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

void CDiagnosisLink::ShowBox() {
    auto* box = new QMessageBox(window());  // owned by the window, deleted on close
    box->setObjectName(QStringLiteral("diagnosisBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QString::fromStdU16String(m_strings.Diagnosis.box_title));
    // The values come from the system (interface and program names): never markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(BoxText());
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
}

}  // namespace orvandel
