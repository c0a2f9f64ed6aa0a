// Start-up: the socket check's message box, and the window run and released.
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/finder_app.h"
#include "mainwindow/finder_dialog.h"

using namespace orvandel;

class FinderAppTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
    }

    void failedSocketCheckShowsOnlyTheMessage() {
        QString text, title;
        QList<QAbstractButton*> buttons;
        bool window_seen = false;
        QTimer::singleShot(100, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            title = box->windowTitle();
            buttons = box->buttons();
            for (QWidget* w : QApplication::topLevelWidgets()) {
                window_seen |= qobject_cast<CKestriTR400DeviceFinderDlg*>(w) != nullptr;
            }
            box->accept();
        });
        CKestriTR400DeviceFinderApp app([] { return false; });
        QCOMPARE(app.Run(), 0);
        QCOMPARE(text, QString("Windows sockets initialization failed."));
        QCOMPARE(buttons.size(), 1);
        QVERIFY(!window_seen);
        QVERIFY(!QFile::exists("setting.cfg"));
    }

    void windowRunsUntilClosed() {
        bool seen = false;
        QTimer::singleShot(100, [&] {
            auto* window =
                qobject_cast<CKestriTR400DeviceFinderDlg*>(QApplication::activeModalWidget());
            if (!window)
                return;
            seen = window->windowTitle() == "Orvandel";
            window->reject();
        });
        CKestriTR400DeviceFinderApp app([] { return true; });
        QCOMPARE(app.Run(), 0);
        QVERIFY(seen);
        // The window read and rewrote the settings file of the working directory.
        QVERIFY(QFile::exists("setting.cfg"));
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY(qobject_cast<CKestriTR400DeviceFinderDlg*>(w) == nullptr);
        }
    }

private:
    QTemporaryDir m_cwd;
};

QTEST_MAIN(FinderAppTest)
#include "app_test.moc"
