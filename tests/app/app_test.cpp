// Start-up: the socket check's message box, the window run and released, Qt's own
// options ignored, and a start without a display.
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>

#include "app/finder_app.h"
#include "mainwindow/finder_dialog.h"
#include "tests/mainwindow/window_harness.h"

using namespace orvandel;

namespace {

QImage GrabWhenShown(QWidget* widget) {
    return widget != nullptr ? widget->grab().toImage() : QImage();
}

// Run as a child process: starts Qt with the argument list as the program gives it
// ("filtered") or as it came ("raw"), and saves grabs of the results page, the
// menu and the About box to the folder named.
int GrabChild(int argc, char** argv) {
    const QString out = QString::fromLocal8Bit(argv[2]);
    const bool raw = std::strcmp(argv[3], "raw") == 0;
    const QtArguments filtered = ProgramNameOnly(argc, argv);
    int* qt_argc = raw ? &argc : filtered.argc;
    char** qt_argv = raw ? argv : filtered.argv;
    QApplication application(*qt_argc, qt_argv);
    QDir::setCurrent(out);

    test::WindowHarness h;
    h.SetDevices(
        {test::MakeDevice(u"Living Room", u"TR9100", u"192.168.1.10", u"0c:1a:2b:3c:4d:01"),
         test::MakeDevice(u"Studio", u"TR400", u"192.168.1.23", u"0c:1a:2b:3c:4d:02")});
    if (!h.OpenReady())
        return 2;
    h.ClickSearch();
    h.ClickSearch();
    QCoreApplication::processEvents();
    h.window->grab().save(QDir(out).filePath("results.png"));

    QImage menu, about;
    QTimer::singleShot(100, [&] {
        QWidget* popup = QApplication::activePopupWidget();
        menu = GrabWhenShown(popup);
        if (popup != nullptr)
            popup->close();
    });
    h.window->OnSetting();
    QTimer::singleShot(100, [&] {
        QWidget* box = QApplication::activeModalWidget();
        about = GrabWhenShown(box);
        if (auto* dialog = qobject_cast<QDialog*>(box))
            dialog->accept();
    });
    h.window->OnAbout();
    menu.save(QDir(out).filePath("menu.png"));
    about.save(QDir(out).filePath("about.png"));
    return menu.isNull() || about.isNull() ? 3 : 0;
}

QString ProgramPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath("../../app/orvandel");
}

}  // namespace

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

    // Qt's own options act only through the argument list given to QApplication.
    // The raw run proves that these options would show in the grabs.
    void qtOptionsDoNotAct() {
        QTemporaryDir dir;
        QFile qss(dir.filePath("paint.qss"));
        QVERIFY(qss.open(QIODevice::WriteOnly));
        qss.write("* { background: #ff00ff; color: #00c000; font-size: 30px; }\n");
        qss.close();
        const QStringList options{"-stylesheet", qss.fileName(), "-reverse"};
        auto run = [&](const QString& name, const QString& mode, const QStringList& extra) {
            const QString out = dir.filePath(name);
            QDir().mkpath(out);
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        QStringList{"--grab-child", out, mode} + extra);
            if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit ||
                child.exitCode() != 0) {
                return QStringList{};
            }
            QStringList files;
            for (const char* grab : {"results.png", "menu.png", "about.png"})
                files << QDir(out).filePath(grab);
            return files;
        };
        const QStringList plain = run("plain", "filtered", {});
        const QStringList given = run("given", "filtered", options);
        const QStringList raw = run("raw", "raw", options);
        QCOMPARE(plain.size(), 3);
        QCOMPARE(given.size(), 3);
        QCOMPARE(raw.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QImage a(plain[i]);
            QVERIFY2(!a.isNull(), qPrintable(plain[i]));
            QCOMPARE(QImage(given[i]), a);
            QVERIFY2(QImage(raw[i]) != a, qPrintable(raw[i]));
        }
    }

    // Which start waits for a local X server that does not listen yet.
    void whichStartWaitsForX_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("socket");
        QTest::newRow("Qt's choice, X session") << ""
                                                << ":7"
                                                << ""
                                                << "/tmp/.X11-unix/X7";
        QTest::newRow("Qt's choice, Wayland session") << ""
                                                      << ":7"
                                                      << "wayland-0"
                                                      << "";
        QTest::newRow("xcb asked for") << "xcb"
                                       << ":7.0"
                                       << "wayland-0"
                                       << "/tmp/.X11-unix/X7";
        QTest::newRow("xcb with options first") << "XCB:opt;wayland"
                                                << ":2"
                                                << ""
                                                << "/tmp/.X11-unix/X2";
        QTest::newRow("wayland first") << "wayland;xcb"
                                       << ":7"
                                       << ""
                                       << "";
        QTest::newRow("offscreen") << "offscreen"
                                   << ":7"
                                   << ""
                                   << "";
        QTest::newRow("remote X") << "xcb"
                                  << "host:7"
                                  << ""
                                  << "";
    }
    void whichStartWaitsForX() {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QString, socket);
        DisplayEnvironment env;
        env.qpa_platform = platform.toStdString();
        env.display = display.toStdString();
        env.wayland_display = wayland.toStdString();
        QCOMPARE(QString::fromStdString(X11SocketToWaitFor(env).value_or("")), socket);
    }

    void whichEnvironmentHasADisplay_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("default_socket");
        QTest::addColumn<bool>("has");
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "" << false << false;
        QTest::newRow("X11") << ""
                             << ":0"
                             << "" << false << true;
        QTest::newRow("Wayland") << ""
                                 << ""
                                 << "wayland-1" << false << true;
        QTest::newRow("xcb without DISPLAY") << "xcb"
                                             << ""
                                             << "wayland-1" << false << false;
        QTest::newRow("xcb") << "xcb"
                             << ":1"
                             << "" << false << true;
        QTest::newRow("wayland without a socket") << "wayland"
                                                  << ":1"
                                                  << "" << false << false;
        QTest::newRow("wayland, default socket") << "wayland"
                                                 << ""
                                                 << "" << true << true;
        QTest::newRow("wayland-egl") << "wayland-egl"
                                     << ""
                                     << "w" << false << true;
        QTest::newRow("fallback list") << "wayland;xcb"
                                       << ":0"
                                       << "" << false << true;
        QTest::newRow("fallback list, neither") << "wayland;xcb"
                                                << ""
                                                << "" << false << false;
        QTest::newRow("offscreen") << "offscreen"
                                   << ""
                                   << "" << false << true;
        QTest::newRow("with options") << "offscreen:fontconfig"
                                      << ""
                                      << "" << false << true;
        QTest::newRow("minimal") << "minimal"
                                 << ""
                                 << "" << false << true;
        QTest::newRow("upper case") << "XCB"
                                    << ""
                                    << "" << false << false;
        QTest::newRow("empty entries") << ";;"
                                       << ""
                                       << "" << false << false;
    }
    void whichEnvironmentHasADisplay() {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(bool, default_socket);
        QFETCH(bool, has);
        DisplayEnvironment env;
        env.qpa_platform = platform.toStdString();
        env.display = display.toStdString();
        env.wayland_display = wayland.toStdString();
        env.default_wayland_socket = default_socket;
        QCOMPARE(HasDisplay(env), has);
    }

    // The program itself: the project's line first, exit status 1, no abort. Where
    // Qt found out (a display that is not there, a platform that does not exist)
    // its own reason follows.
    void startWithoutADisplay_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing set") << ""
                                     << ""
                                     << "";
        QTest::newRow("display unreachable") << "xcb"
                                             << ":4093"
                                             << "could not connect to display :4093";
        QTest::newRow("no such platform") << "bogus"
                                          << ""
                                          << "Could not find the Qt platform plugin \"bogus\"";
    }
    void startWithoutADisplay() {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(QString, reason);
        if (!QFile::exists(ProgramPath()))
            QSKIP("the program is not built next to the tests");
        if (QFile::exists("/tmp/.X11-unix/X4093"))
            QSKIP("an X server runs on display 4093");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("XDG_RUNTIME_DIR", m_cwd.path());  // no default Wayland socket there
        if (!platform.isEmpty())
            env.insert("QT_QPA_PLATFORM", platform);
        if (!display.isEmpty())
            env.insert("DISPLAY", display);
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(m_cwd.path());
        program.start(ProgramPath(), {"-platform", "offscreen"});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QString line = QString::fromUtf8(kNoDisplayMessage.data(),
                                               static_cast<qsizetype>(kNoDisplayMessage.size())) +
                             "\n";
        const QString err = QString::fromUtf8(program.readAllStandardError());
        if (reason.isEmpty()) {
            QCOMPARE(err, line);
        } else {
            QVERIFY2(err.startsWith(line) && err.mid(line.size()).contains(reason),
                     qPrintable(err));
        }
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
    }

private:
    QTemporaryDir m_cwd;
};

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--grab-child") == 0)
        return GrabChild(argc, argv);
    QApplication application(argc, argv);
    FinderAppTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "app_test.moc"
