// The `setup` program: installs from the folder it lies in as its "Setup.ini" says, or, started
// from an installation, offers to uninstall it ("setup uninstall" does so without a question).
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <string>

#include "platform/settings_store.h"
#include "setup/pages/setup_pages.h"

int main(int argc, char** argv)
{
    // Switches for runs without a person (leading "--" words) are taken off; the rest is the
    // command line the installer's modes compare.
    bool autoAnswer = false, noPause = false;
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (commandLine.empty() && a == "--auto-answer") {
            autoAnswer = true;
            continue;
        }
        if (commandLine.empty() && a == "--no-pause") {
            noPause = true;
            continue;
        }
        commandLine += (commandLine.empty() ? "" : " ") + a;
    }
    setup::CQtProjectGuard qtProject;
    QApplication app(argc, argv);
    setup::CQtUi ui;
    ui.autoAnswer = autoAnswer;
    ui.noPause = noPause;
    platform::CSettingsStore store(platform::CSettingsStore::DefaultFolder());
    setup::CSetup s(ui, setup::SetupFolders::FromEnvironment(), store);
    if (commandLine.compare(0, 6, "remove") == 0)
        return 0; // the uninstaller removes itself; nothing is left to wait for
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const int rc = s.Prepare(self, commandLine);
    if (rc != 0)
        return rc;
    if (s.Rebooting()) {
        s.RebootQuestion();
        return 0;
    }

    // The background screen: painted from the script, or a minimized window.
    QImage background;
    const std::vector<std::string> lines = s.BackgroundLines();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desk = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    if (!lines.empty()) {
        background = QImage(desk.size(), QImage::Format_RGB32);
        background.fill(Qt::black);
        setup::CQtCanvas canvas(background);
        const std::string named = s.Read("Root", "Named");
        setup::PaintCommands(canvas, {0, 0, desk.width(), desk.height()}, lines, [&](const std::string& f) {
            const std::string p = s.ExpandPathMacros(f, named.empty() ? s.SourceFolder() : named, false).value_or(f);
            return QFile::exists(QString::fromStdString(p)) ? p : f;
        });
    }
    setup::CBackgroundWindow bg(s, background);
    ui.m_background = &bg;
    if (background.isNull()) {
        bg.showMinimized();
    } else {
        bg.setGeometry(desk);
        bg.setWindowFlag(Qt::FramelessWindowHint);
        bg.show();
    }
    const int delay = noPause ? 0 : 2000;
    QTimer::singleShot(delay, &bg, [&] {
        bg.update();
        s.OpenMainDialog();
        setup::CMainDialog dlg(s, ui, background.isNull() ? nullptr : &bg);
        ui.m_main = &dlg;
        dlg.exec();
        ui.m_main = nullptr;
        app.quit();
    });
    app.exec();
    s.EndRun();
    return 0;
}
