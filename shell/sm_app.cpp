// Start-up, splash, idle calls and the application's commands.
#include "shell/sm_app.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <filesystem>

#include "common/helpers.h"
#include "document/sm_doc.h"
#include "imagefile/staged_output_file.h"
#include "platform/clock.h"
#include "platform/qt/gdi_context.h"
#include "platform/qt/idle_driver.h"
#include "platform/qt/input_filter.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/resources.h"
#include "platform/settings_store.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"
#include "shell/about_dlg.h"
#include "shell/command_ids.h"
#include "shell/guide.h"
#include "shell/main_frame.h"
#include "shell/present_image_dlg.h"
#include "views/print_device.h"

namespace {

CSmApp* g_app = nullptr;

const char* const kRecentSection = "Recent File List";
constexpr int kRecentCount = 4;

// The start-up picture, shown in a window of its own above the main window.
class CSplashWindow : public QWidget {
public:
    explicit CSplashWindow(QImage image)
        : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
          m_image(std::move(image))
    {
        setObjectName(QStringLiteral("Splash"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_image);
    }

private:
    QImage m_image;
};

int SecondsOfDay(const platform::LocalTime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

std::optional<std::string> ProjectArgument(const std::vector<std::string>& args)
{
    // Words beginning with '/' or '-' are switches; the first other word names the project.
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty() || a[0] == '-' || (a[0] == '/' && a.size() <= 4 && a.find('/', 1) == std::string::npos))
            continue;
        return a;
    }
    return std::nullopt;
}

// The desktop's print verbs: "/p project" prints on the default printer, "/pt project printer
// driver port" on the named printer.
struct ShellPrint {
    bool requested = false;
    std::string printer;
};

ShellPrint ShellPrintArguments(const std::vector<std::string>& args)
{
    ShellPrint print;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string a = args[i];
        for (char& c : a)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (a == "/p" || a == "-p") {
            print.requested = true;
        } else if (a == "/pt" || a == "-pt") {
            print.requested = true;
            // The project, then the printer's name.
            if (i + 2 < args.size())
                print.printer = args[i + 2];
        }
    }
    return print;
}

} // namespace

CSmApp* TheApp() { return g_app; }

void FillScreenUnlessMaximised(QWidget& frame)
{
    if (!(frame.windowState() & Qt::WindowMaximized) || !frame.isVisible())
        return;
    const QScreen* screen = frame.screen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QSize size = frame.frameGeometry().size();
    if (size.width() < free.width() * 9 / 10 || size.height() < free.height() * 9 / 10)
        frame.setGeometry(free);
}

CSmApp::CSmApp() { g_app = this; }

CSmApp::~CSmApp()
{
    m_idle.reset();
    SetGuideOpener({});
    SetPictureWindowFactory({});
    m_frame.reset();
    m_doc.reset();
    if (g_app == this)
        g_app = nullptr;
}

bool CSmApp::InitInstance(const std::vector<std::string>& arguments)
{
    // The window layer's services and the input board's feed.
    platform::qt::InstallQtServices();
    platform::qt::CInputFilter::Instance();
    SetGuideOpener([](const std::string& stem) { return OpenGuideDocument(stem); });
    InstallPresentImageFactory();
    // Interrupted or terminated while it writes an output, the program leaves no staged file
    // behind; a file-size limit fails the write instead of ending the program.
    InstallStagedOutputSignalCleanup();
    // The settings live under the key "KRV" of the current user (the store's profile key).
    LoadRecentFileList();

    // The single document, its frame and the frame's views.
    m_doc = std::make_unique<CSmDoc>();
    m_frame = std::make_unique<CMainFrame>(m_doc.get(), this);
    m_frame->SetProjectOpener([this](const std::string& path) { return OpenDocumentFile(path); });
    if (!m_frame->Create()) {
        ShowMessage("The main window could not be created.", platform::MB_OK | platform::MB_ICONSTOP);
        return false;
    }
    m_frame->SetRecentFiles(m_recent);

    // The command line: open the named project, else start a new one.
    const std::optional<std::string> project = ProjectArgument(arguments);
    const bool ok = project ? OpenDocumentFile(*project) : m_doc->FileNew();
    if (!ok)
        return false;
    m_lastPath = m_doc->GetPathName();

    const ShellPrint print = ShellPrintArguments(arguments);
    if (print.requested && project) {
        PrintForShell(print.printer);
        return false;
    }

    ShowSplash();
    m_frame->showMaximized();
    // Maximising is the window manager's work: where there is none, the frame would keep its
    // small first size. Once the window is up, a frame still meant to be maximised but smaller
    // than its screen's free area takes that area.
    QTimer::singleShot(0, m_frame.get(), [frame = m_frame.get()] { FillScreenUnlessMaximised(*frame); });
    m_frame->activateWindow();
    m_frame->raise();

    // Dialogs of the program: grey face, black text.
    qApp->setStyleSheet(QStringLiteral(
        "platform--qt--CDialogBase, QMessageBox { background-color: rgb(192, 192, 192); color: black; }"));
    RegisterShellFileTypes();
    m_frame->SetupGuideMenu(ProgramFolder());
    char version[96];
    std::snprintf(version, sizeof version, "%s  Ver. %1.3f", kProductName, kVersion);
    m_versionText = version;

    m_idle = std::make_unique<platform::qt::CIdleDriver>([this](long count) { return OnIdle(count); });
    return true;
}

SplashPlan PlanSplash(const QRect& screen, QSize bitmap)
{
    SplashPlan plan;
    const QRect inner = screen.adjusted(20, 20, -20, -20);
    const int bw = bitmap.width(), bh = bitmap.height();
    // The centre of the screen with its right and bottom edges outside it (800, 500 on 1600 x 1000).
    const QPoint c(screen.left() + screen.width() / 2, screen.top() + screen.height() / 2);
    if (bw > 0 && bh > 0) {
        plan.stand = QRect(c.x() - bw / 2, c.y() - bh / 2, bw, bh);
        if (bw < inner.width() && bh < inner.height()) {
            plan.kind = SplashPlan::Copy;
            plan.picture = plan.stand;
            return plan;
        }
        // Too large for the screen: fitted into it with its aspect kept, no text.
        int w = inner.width();
        int h = static_cast<int>(static_cast<int64_t>(w) * bh / bw);
        if (h > inner.height()) {
            h = inner.height();
            w = static_cast<int>(static_cast<int64_t>(h) * bw / bh);
        }
        plan.kind = SplashPlan::Stretch;
        plan.picture = QRect(c.x() - w / 2, c.y() - h / 2, w, h).intersected(inner);
        return plan;
    }
    plan.kind = SplashPlan::Panel;
    plan.stand = QRect(c.x() - 280, c.y() - 180, 560, 360);
    plan.picture = plan.stand.intersected(screen);
    return plan;
}

void CSmApp::ShowSplash()
{
    const std::string title = kProductName;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !m_frame)
        return;
    const QPixmap bitmap = platform::qt::LoadBitmapResource(308);
    const SplashPlan plan = PlanSplash(screen->geometry(), bitmap.isNull() ? QSize() : bitmap.size());
    // The main window stands where the picture goes.
    m_frame->setGeometry(plan.stand);
    const QRect splash = plan.picture;
    QImage picture(splash.size(), QImage::Format_RGB32);
    platform::qt::CGdiContext dc(picture);
    const CRect all{0, 0, splash.width(), splash.height()};
    const unsigned centred = platform::qt::DT_CENTER | platform::qt::DT_VCENTER | platform::qt::DT_SINGLELINE;
    dc.SetBkMode(platform::qt::TRANSPARENT);
    if (plan.kind == SplashPlan::Copy) {
        dc.BitBlt(0, 0, splash.width(), splash.height(), bitmap.toImage(), 0, 0);
        dc.SetTextColor(RGB(240, 0, 0));
        dc.SelectFont({"Courier New Bold Italic", 50});
        dc.DrawText("Aurelle", all, centred);
    } else if (plan.kind == SplashPlan::Stretch) {
        dc.StretchBlt(0, 0, splash.width(), splash.height(), bitmap.toImage(), 0, 0, bitmap.width(), bitmap.height());
    } else {
        dc.SelectPen({platform::qt::PS_SOLID, 1, RGB(0, 0, 0)});
        dc.SelectBrush(platform::qt::CBrush::Solid(RGB(100, 100, 250)));
        dc.Rectangle(all);
        dc.SetTextColor(RGB(255, 255, 255));
        dc.SelectFont({"Courier New Bold Italic", 24});
        dc.DrawText(title, all, centred);
    }

    CSplashWindow window(picture);
    window.setGeometry(splash);
    window.show();
    window.raise();
    platform::EventPump().Pump();

    // Between one and two seconds, or until a mouse button, Escape or Return is down.
    const int start = SecondsOfDay(platform::Clock().Now());
    QElapsedTimer bound;
    bound.start();
    for (;;) {
        const int now = SecondsOfDay(platform::Clock().Now());
        if (now > start + 1 || now < start)
            break;
        // A clock that stands still must not hold the start-up for ever.
        if (bound.elapsed() > 2100)
            break;
        platform::EventPump().Pump();
        if (IsBreakKeyDown())
            break;
        QThread::msleep(10);
    }
    window.hide();
    m_frame->hide();
}

bool CSmApp::OnIdle(long count)
{
    // The framework's own idle work: the menus and buttons follow the command states.
    if (count <= 0) {
        if (m_frame)
            m_frame->UpdateCommandStates();
        if (m_doc && m_doc->GetPathName() != m_lastPath) {
            m_lastPath = m_doc->GetPathName();
            AddToRecentFileList(m_lastPath);
        }
        return true;
    }
    if (count < 100)
        return true;
    if (!m_doc)
        return true;
    return m_doc->OnIdleStep();
}

void CSmApp::OnAppAbout()
{
    CAboutDlg about(m_frame.get());
    about.m_versionText = m_versionText;
    about.DoModal();
}

void CSmApp::PrintForShell(const std::string& printer)
{
    m_shellPrinted = true;
    if (!printer.empty()) {
        const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(printer));
        if (!info.isNull())
            views::SetChosenPrinter(info.printerName(), QPrinter(info).pageLayout());
    }
    // The work view prints its client area as drawn: the window at its working size with
    // every picture drawn, then the work view's Print Direct.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_frame->setGeometry(screen->availableGeometry());
    m_frame->show();
    QCoreApplication::processEvents();
    m_doc->RedrawWorkView();
    m_frame->RouteCommand(57608);
    m_frame->hide();
}

bool CSmApp::OpenDocumentFile(const std::string& path)
{
    if (!m_doc)
        return false;
    const bool ok = m_doc->OpenDocumentFile(path);
    if (ok) {
        m_lastPath = m_doc->GetPathName();
        AddToRecentFileList(m_lastPath);
    }
    return ok;
}

void CSmApp::RegisterShellFileTypes()
{
    using platform::SettingsHive;
    platform::CSettingsStore& store = platform::Settings();
    const std::string exe = GetProgramPath();
    const std::string type = "SeamoraPlan";
    store.SetString(SettingsHive::ClassesRoot, ".fit", "", type);
    store.SetString(SettingsHive::ClassesRoot, type, "", "Seamora Plan");
    store.SetString(SettingsHive::ClassesRoot, type + "\\DefaultIcon", "", exe + ",1");
    store.SetString(SettingsHive::ClassesRoot, type + "\\shell\\open\\command", "", "\"" + exe + "\" \"%1\"");
    store.SetString(SettingsHive::ClassesRoot, type + "\\shell\\print\\command", "", "\"" + exe + "\" /p \"%1\"");
    store.SetString(SettingsHive::ClassesRoot, type + "\\shell\\printto\\command", "",
                    "\"" + exe + "\" /pt \"%1\" \"%2\" \"%3\" \"%4\"");
}

void CSmApp::LoadRecentFileList()
{
    m_recent.clear();
    for (int i = 1; i <= kRecentCount; ++i) {
        const std::string p = platform::Settings().GetProfileString(kRecentSection, "File" + std::to_string(i), "");
        if (!p.empty())
            m_recent.push_back(p);
    }
}

void CSmApp::SaveRecentFileList()
{
    for (int i = 1; i <= kRecentCount; ++i) {
        const std::string entry = "File" + std::to_string(i);
        if (i <= static_cast<int>(m_recent.size()))
            platform::Settings().WriteProfileString(kRecentSection, entry, m_recent[i - 1]);
        else
            platform::Settings().DeleteValue(platform::SettingsHive::CurrentUser,
                                             platform::CSettingsStore::ProfileKey() + "\\" + kRecentSection, entry);
    }
}

void CSmApp::AddToRecentFileList(const std::string& path)
{
    if (path.empty())
        return;
    std::erase(m_recent, path);
    m_recent.insert(m_recent.begin(), path);
    if (m_recent.size() > static_cast<size_t>(kRecentCount))
        m_recent.resize(kRecentCount);
    SaveRecentFileList();
    if (m_frame)
        m_frame->SetRecentFiles(m_recent);
}

bool CSmApp::OnCommand(int id)
{
    switch (id) {
    case ID_APP_ABOUT: OnAppAbout(); return true;
    case ID_GUIDE_COMPACT: OpenGuideDocument("Guide"); return true;
    case ID_GUIDE_MANUAL: OpenGuideDocument("Mnl"); return true;
    case ID_FILE_NEW_PROJECT:
        if (m_doc)
            m_doc->FileNew();
        return true;
    case ID_FILE_OPEN_PROJECT:
        if (m_doc && m_doc->FileOpen()) {
            m_lastPath = m_doc->GetPathName();
            AddToRecentFileList(m_lastPath);
        }
        return true;
    case ID_FILE_SAVE_PROJECT:
        if (m_doc)
            m_doc->FileSave();
        return true;
    case ID_FILE_SAVE_PROJECT_AS:
        if (m_doc)
            m_doc->FileSaveAs();
        return true;
    case ID_FILE_PRINT_SETUP: {
        if (!m_printer)
            m_printer = std::make_unique<QPrinter>();
        QPrintDialog dialog(m_printer.get(), m_frame.get());
        if (dialog.exec() == QDialog::Accepted)
            views::SetChosenPrinter(m_printer->printerName(), m_printer->pageLayout());
        return true;
    }
    case ID_APP_EXIT:
        if (m_frame)
            m_frame->close();
        return true;
    default: break;
    }
    if (id >= ID_FILE_MRU_FIRST && id <= ID_FILE_MRU_LAST) {
        const size_t n = static_cast<size_t>(id - ID_FILE_MRU_FIRST);
        if (n < m_recent.size()) {
            const std::string path = m_recent[n];
            std::error_code ec;
            if (!OpenDocumentFile(path) && !std::filesystem::exists(path, ec)) {
                std::erase(m_recent, path);
                SaveRecentFileList();
                if (m_frame)
                    m_frame->SetRecentFiles(m_recent);
            }
        }
        return true;
    }
    return false;
}

std::optional<CommandState> CSmApp::GetCommandState(int id) const
{
    switch (id) {
    case ID_APP_ABOUT:
    case ID_GUIDE_COMPACT:
    case ID_GUIDE_MANUAL:
    case ID_FILE_NEW_PROJECT:
    case ID_FILE_OPEN_PROJECT:
    case ID_FILE_SAVE_PROJECT:
    case ID_FILE_SAVE_PROJECT_AS:
    case ID_FILE_PRINT_SETUP:
    case ID_APP_EXIT: return CommandState{};
    default: break;
    }
    if (id >= ID_FILE_MRU_FIRST && id < ID_FILE_MRU_FIRST + static_cast<int>(m_recent.size()))
        return CommandState{};
    return std::nullopt;
}
