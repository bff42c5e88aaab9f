// Message boxes, file dialogs, status bar, program start, document open and the event pump
// on Qt.
#include "platform/qt/qt_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include "platform/qt/job_pump.h"
#include "platform/qt/resources.h"
#include "platform/qt/save_dialog.h"

namespace platform::qt {
namespace {

QWidget* DialogParent() { return QApplication::activeWindow(); }

QString Title() { return QStringLiteral("Seamora"); }

QString InitialPath(const FileDialogRequest& r) { return QString::fromStdString(r.initialPath); }

} // namespace

int CQtMessageBox::Show(const std::string& text, unsigned type)
{
    QMessageBox box(DialogParent());
    box.setWindowTitle(Title());
    box.setText(QString::fromStdString(text));
    switch (type & 0xF0) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct Button {
        QMessageBox::StandardButton qt;
        int answer;
    };
    std::vector<Button> buttons;
    switch (type & 0xF) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_YESNOCANCEL:
        buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: buttons = {{QMessageBox::Ok, IDOK}}; break;
    }
    for (const Button& b : buttons)
        box.addButton(b.qt);
    box.setDefaultButton(buttons.front().qt);
    // Closing the box answers as its cancel button would, or as the only button.
    box.setEscapeButton(box.button(buttons.back().qt));
    const int pressed = box.exec();
    for (const Button& b : buttons)
        if (pressed == b.qt)
            return b.answer;
    return buttons.back().answer;
}

QStringList ToQtFilters(const std::string& filter)
{
    QStringList out;
    const std::vector<std::vector<std::string>> lists = FilterPatterns(filter);
    // Names come from the filter text itself: "Name | pattern;pattern | ...".
    QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    size_t n = 0;
    for (int i = 0; i + 1 < parts.size() && n < lists.size(); i += 2, ++n) {
        const QString name = parts[i].trimmed();
        if (name.isEmpty())
            break;
        QStringList patterns;
        for (const std::string& p : lists[n])
            patterns << QString::fromStdString(p);
        // A name that already ends in its patterns ("Seamora(*.fit)") is taken as it stands.
        if (name.endsWith(QLatin1Char(')')) && name.contains(QLatin1Char('(')))
            out << name;
        else
            out << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return out;
}

namespace {

void Prepare(QFileDialog& d, const FileDialogRequest& r)
{
    d.setWindowTitle(r.title.empty() ? Title() : QString::fromStdString(r.title));
    const QStringList filters = ToQtFilters(r.filter);
    if (!filters.isEmpty()) {
        d.setNameFilters(filters);
        const int index = r.filterIndex >= 1 ? r.filterIndex - 1 : 0;
        if (index < filters.size())
            d.selectNameFilter(filters[index]);
    }
    if (!r.defaultExt.empty())
        d.setDefaultSuffix(QString::fromStdString(r.defaultExt));
    const QString initial = InitialPath(r);
    if (!initial.isEmpty()) {
        const QFileInfo info(initial);
        if (info.isDir())
            d.setDirectory(initial);
        else {
            if (!info.path().isEmpty() && QFileInfo(info.path()).isDir())
                d.setDirectory(info.path());
            d.selectFile(info.fileName());
        }
    }
}

} // namespace

std::optional<std::string> CQtFileDialog::OpenFile(const FileDialogRequest& request)
{
    QFileDialog d(DialogParent());
    Prepare(d, request);
    d.setAcceptMode(QFileDialog::AcceptOpen);
    d.setFileMode(QFileDialog::ExistingFile);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return std::nullopt;
    return d.selectedFiles().front().toStdString();
}

std::vector<std::string> CQtFileDialog::OpenFiles(const FileDialogRequest& request)
{
    QFileDialog d(DialogParent());
    Prepare(d, request);
    d.setAcceptMode(QFileDialog::AcceptOpen);
    d.setFileMode(QFileDialog::ExistingFiles);
    std::vector<std::string> out;
    if (d.exec() != QDialog::Accepted)
        return out;
    for (const QString& f : d.selectedFiles())
        out.push_back(f.toStdString());
    return out;
}

std::optional<SaveFileAnswer> CQtFileDialog::SaveFile(const FileDialogRequest& request)
{
    CFileDialogExt d(DialogParent());
    d.SetFilterExtensions(request.filterExtensions);
    Prepare(d, request);
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setFileMode(QFileDialog::AnyFile);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return std::nullopt;
    SaveFileAnswer a;
    a.path = d.selectedFiles().front().toStdString();
    a.filterIndex = std::max(1, static_cast<int>(d.nameFilters().indexOf(d.selectedNameFilter())) + 1);
    return a;
}

CQtStatusBar::CQtStatusBar(QStatusBar* bar) : m_bar(bar)
{
    auto* message = new QLabel(QStringLiteral("   "), bar);
    message->setObjectName(QStringLiteral("pane0"));
    bar->addWidget(message, 1);
    m_panes.push_back(message);
    int n = 1;
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* l = new QLabel(QString::fromLatin1(indicator), bar);
        l->setObjectName(QStringLiteral("pane%1").arg(n++));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        // The indicators show the lock keys; a lock that is off is drawn greyed.
        l->setEnabled(false);
        bar->addPermanentWidget(l);
        m_panes.push_back(l);
    }
}

void CQtStatusBar::SetPaneText(int pane, const std::string& text)
{
    if (pane < 0 || pane >= PaneCount())
        return;
    m_panes[pane]->setText(QString::fromStdString(text));
    m_panes[pane]->repaint();
}

std::string CQtStatusBar::PaneText(int pane) const
{
    if (pane < 0 || pane >= PaneCount())
        return {};
    return m_panes[pane]->text().toStdString();
}

int CQtProcessLauncher::Start(const std::string& program, const std::vector<std::string>& arguments, int)
{
    if (program.empty())
        return kStartFileNotFound;
    const QFileInfo info(QString::fromStdString(program));
    if (program.find('/') != std::string::npos && !info.exists())
        return kStartFileNotFound;
    QStringList args;
    for (const std::string& a : arguments)
        args << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), args) ? kStartOk : kStartFailed;
}

int CQtShellOpen::Open(const std::string& name, const std::string& directory, int)
{
    const std::string path = ShellOpenPath(name, directory);
    const QFileInfo info(QString::fromStdString(path));
    if (path.empty() || !info.exists())
        return kStartFileNotFound;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? kStartOk : kStartFailed;
}

void CQtEventPump::Pump() { CJobPump::Pump(); }

void CQtWaitCursor::Show()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CQtWaitCursor::Restore()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) && QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

namespace {
CQtMessageBox g_box;
CQtFileDialog g_dialog;
CQtProcessLauncher g_launcher;
CQtShellOpen g_shell;
CQtEventPump g_pump;
CQtWaitCursor g_waitCursor;
} // namespace

void InstallQtServices()
{
    SetMessageBox(&g_box);
    SetFileDialog(&g_dialog);
    SetProcessLauncher(&g_launcher);
    SetShellOpen(&g_shell);
    SetEventPump(&g_pump);
    SetWaitCursor(&g_waitCursor);
    SetResourceLoader(&QtResourceLoader());
}

void RemoveQtServices()
{
    SetMessageBox(nullptr);
    SetFileDialog(nullptr);
    SetProcessLauncher(nullptr);
    SetShellOpen(nullptr);
    SetEventPump(nullptr);
    SetWaitCursor(nullptr);
    SetResourceLoader(nullptr);
}

} // namespace platform::qt
