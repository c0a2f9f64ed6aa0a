// The not-found page's "Why?" link: shown on every not-found page, it carries the
// first verdict's short line (or that no cause was found) as its tooltip and
// accessible description, and opens a small box, drawn in the window's skin, with
// every verdict, its summary and its fix, or what was checked.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <vector>

#include "discovery/diagnosis.h"

class QLabel;

namespace orvandel {

class CButtonOperate;
class UiStrings;

class CDiagnosisLink : public QPushButton {
    Q_OBJECT

public:
    // `strings` is the window's and outlives the link.
    CDiagnosisLink(const UiStrings& strings, QWidget* parent);

    // Shows the link for these verdicts (none: no cause was found), in the current
    // language.
    void ShowFor(std::vector<Verdict> verdicts);
    // Hides the link and forgets the verdicts.
    void HideLink();
    // Places the link and rewrites its texts from the strings (after a language switch).
    void ApplyTexts();
    // The first verdict's short line in the current language; without verdicts,
    // that no cause was found.
    QString FirstLine() const;
    bool HasVerdicts() const { return !m_verdicts.empty(); }
    // Every verdict as plain text: summary, then its fix, one paragraph each;
    // without verdicts, that none was found and what was checked.
    QString BoxText() const;
    // Opens the box (window-modal; it closes itself).
    void ShowBox();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const UiStrings& m_strings;
    std::vector<Verdict> m_verdicts;
};

// The box: white with the window's warning icon and the text, over the dark footer
// strip with an OK button of the skin; at most as wide as the window.
class CDiagnosisBox : public QDialog {
    Q_OBJECT

public:
    CDiagnosisBox(const UiStrings& strings, const QString& text, QWidget* parent);

    static constexpr int kWidth = 300;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const UiStrings& m_strings;
    QLabel* m_text = nullptr;
    CButtonOperate* m_ok = nullptr;
    int m_footer_top = 0;
};

}  // namespace orvandel
