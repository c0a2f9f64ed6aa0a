// The setting button's popup menu, the language commands and the About command.
#include <QAction>
#include <QMenu>
#include <QMetaObject>

#include "about/dialog_about.h"
#include "controls/button_operate.h"
#include "controls/scroll_bar_list.h"
#include "mainwindow/finder_dialog.h"

#include "mainwindow/diagnosis_link.h"

namespace orvandel {

namespace {

LanguageId LanguageOfCommand(int command_id) {
    switch (command_id) {
        case kCmdSimplifiedChinese:
            return kSimplifiedChinese;
        case kCmdTraditionalChinese:
            return kTraditionalChinese;
        case kCmdJapanese:
            return kJapanese;
        default:
            return kEnglish;
    }
}

}  // namespace

void CKestriTR400DeviceFinderDlg::OnSetting() {
    if (!m_popup)
        return;
    // Opened from the keyboard, the menu goes under its button; the pointer may be
    // anywhere. Opened by a click, at the click, mapped from the button rather than
    // read from the pointer: under Wayland a client never learns the global pointer
    // position, and under X11 both give the same point.
    const QPoint at =
        m_setting->ClickedByKey() ? QPoint(0, m_setting->height()) : m_setting->PressPosition();
    m_popup->exec(m_setting->mapToGlobal(at));
}

void CKestriTR400DeviceFinderDlg::BuildPopupMenu(LanguageId language) {
    m_popup.reset();
    m_strings.SetLanguage(language);

    auto popup = std::make_unique<QMenu>(this);
    popup->setObjectName("popupMenu");
    // The chosen command runs once the menu has closed, as a posted command would:
    // a language command rebuilds (and so deletes) this very menu.
    auto add = [this](QMenu* menu, const std::u16string& text, int id) {
        QAction* action = menu->addAction(QString::fromStdU16String(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] {
            QMetaObject::invokeMethod(
                this, [this, id] { DispatchCommand(id); }, Qt::QueuedConnection);
        });
    };
    QMenu* languages = popup->addMenu(QString::fromStdU16String(m_strings.MenuLanguage));
    languages->setObjectName("languageMenu");
    add(languages, m_strings.MenuEnglish, kCmdEnglish);
    add(languages, m_strings.MenuSimplifiedChinese, kCmdSimplifiedChinese);
    add(languages, m_strings.MenuTraditionalChinese, kCmdTraditionalChinese);
    add(languages, m_strings.MenuJapanese, kCmdJapanese);
    add(popup.get(), m_strings.MenuAbout, kCmdAbout);
    m_popup = std::move(popup);
}

void CKestriTR400DeviceFinderDlg::OnLanguage(int command_id) {
    m_strings.SetLanguage(LanguageOfCommand(command_id));
    ReloadPageTexts();
    SyncPageDescription();
    update();
}

void CKestriTR400DeviceFinderDlg::ReloadPageTexts() {
    BuildPopupMenu(m_strings.Language());
    setWindowTitle(QString::fromStdU16String(m_strings.MainWindow.text));
    ApplyAccessibleTexts();
    m_why->ApplyTexts();

    m_slots.headline = SlotText(m_strings.IntroText.text);
    m_slots.title = SlotText(m_strings.Step1Title.text);
    m_slots.body = SlotText(m_strings.Step1Text.text);

    if (!m_network_alive) {
        ShowNoInternetPage();
    } else if (m_has_results) {
        if (m_has_searched) {
            m_strings.SetResultCount(m_device_list->ItemCount());
            m_slots.headline_rect = ResultHeadlineRect();
            m_slots.headline = SlotText(m_strings.ResultTitle.text);
            m_slots.title.clear();
            m_slots.body.clear();
        }
    } else if (m_has_searched) {
        m_slots.headline_rect = NotFoundHeadlineRect();
        m_slots.headline = SlotText(m_strings.NotFoundTitle.text);
        const bool step1 = m_step_index == 0;
        m_slots.title = SlotText((step1 ? m_strings.Step1Title.text : m_strings.Step2Title.text));
        m_slots.body = SlotText((step1 ? m_strings.Step1Text.text : m_strings.Step2Text.text));
    }

    if (m_is_searching) {
        SetSearchCaption(m_strings.StopLabel);
        m_slots.headline_rect = SearchingHeadlineRect();
        m_slots.headline = SlotText(m_strings.SearchingTitle.text);
        m_slots.title = SlotText(m_strings.SearchingLine1.text);
        m_slots.body = SlotText(m_strings.SearchingLine2.text);
    } else {
        SetSearchCaption(m_has_searched ? m_strings.SearchAgainLabel : m_strings.BeginSearchLabel);
    }

    if (m_network_alive && !m_is_searching && !m_has_results) {
        if (m_step_index == 0) {
            ApplyStep1Page();
        } else {
            ApplyStep2Page();
        }
    }
}

void CKestriTR400DeviceFinderDlg::OnAbout() {
    // The About box keeps the same settings file as the window.
    CDialogAbout about(m_strings.Language(), m_settings_path, this);
    about.exec();
}

}  // namespace orvandel
