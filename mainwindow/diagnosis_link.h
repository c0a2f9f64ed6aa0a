// The not-found page's "Why?" link: shown when the diagnosis of the search has a
// verdict, it carries the first verdict's short line as its tooltip and accessible
// description, and opens a small box with every verdict, its summary and its fix.
#pragma once

#include <QPushButton>
#include <vector>

#include "discovery/diagnosis.h"

namespace orvandel {

class UiStrings;

class CDiagnosisLink : public QPushButton {
    Q_OBJECT

public:
    // `strings` is the window's and outlives the link.
    CDiagnosisLink(const UiStrings& strings, QWidget* parent);

    // Shows the link for these verdicts (hides it for none), in the current language.
    void SetVerdicts(std::vector<Verdict> verdicts);
    // Places the link and rewrites its texts from the strings (after a language switch).
    void ApplyTexts();
    // The first verdict's short line in the current language; empty without verdicts.
    QString FirstLine() const;
    bool HasVerdicts() const { return !m_verdicts.empty(); }
    // Every verdict as plain text: summary, then its fix, one paragraph each.
    QString BoxText() const;
    // Opens the box (not modal; it closes itself).
    void ShowBox();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const UiStrings& m_strings;
    std::vector<Verdict> m_verdicts;
};

}  // namespace orvandel
