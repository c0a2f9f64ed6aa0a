// CDialogAbout: the modal About box. It shows the version with a link to the
// product page, the support sentence with a link to the support page, the legal
// notice and an OK button, in the language the main window gives it.
//
// It owns its own UiStrings, switched to that language on construction, which
// also rewrites the settings file with it. Run it with exec(); OK, Esc, Enter
// and the close box end it.
#pragma once

#include <QDialog>
#include <filesystem>

#include "localization/language.h"
#include "localization/ui_strings.h"

class QLabel;

namespace orvandel {

class CButtonOperate;

class CDialogAbout : public QDialog {
    Q_OBJECT

public:
    // Keeps the settings in "setting.cfg" of the working directory.
    explicit CDialogAbout(LanguageId language, QWidget* parent = nullptr);
    // For tests: the settings file at `settings_path`.
    CDialogAbout(LanguageId language, std::filesystem::path settings_path,
                 QWidget* parent = nullptr);
    ~CDialogAbout() override;

    LanguageId Language() const { return m_language; }
    // Pixel size (em) of the text font: the one whose cell is 15 px where the texts
    // fit their rectangles, less where they would be cut (the links must stay
    // visible and clickable).
    int TextPixelSize() const { return m_text_pixel_size; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Initialise();
    QLabel* AddTextLabel(const char* name, const UiTextElement& element, int extra_top,
                         int extra_height, bool links);
    void FitTextFont();
    void OnLinkActivated(const QString& address);

    LanguageId m_language;
    UiStrings m_strings;
    int m_text_pixel_size = 0;
    // Children, owned by the dialog.
    QLabel* m_version = nullptr;
    QLabel* m_support = nullptr;
    QLabel* m_legal = nullptr;
    CButtonOperate* m_ok_button = nullptr;
    // The link text that Tab gave the focus to: it draws no focus of its own, so
    // the dialog rings it.
    QLabel* m_focused_link = nullptr;
};

}  // namespace orvandel
