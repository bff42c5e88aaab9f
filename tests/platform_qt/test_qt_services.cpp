// The Qt system services: program start without a shell, document open of missing files,
// message-box answers and file-dialog filters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QStandardPaths>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/qt/qt_services.h"
#include "platform/qt/resources.h"
#include "platform/settings_store.h"

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::qt;

namespace {

// Records the files the desktop was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

fs::path Scratch(const char* name)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

} // namespace

TEST(QtServices, ProgramsStartWithTheirArgumentsAsTheyStandNeverThroughAShell)
{
    const fs::path dir = Scratch("launcher");
    const std::string odd = (dir / "a b;touch injected").string();
    CQtProcessLauncher launcher;
    EXPECT_GT(launcher.Start("/usr/bin/touch", {odd}, SW_HIDE), 32);
    for (int i = 0; i < 200 && !fs::exists(odd); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(fs::exists(odd));
    EXPECT_FALSE(fs::exists(dir / "injected"));
    EXPECT_FALSE(fs::exists("injected"));
    EXPECT_LE(launcher.Start((dir / "no-such-program").string(), {}, SW_SHOWNORMAL), 32);
    EXPECT_LE(launcher.Start("", {}, SW_SHOWNORMAL), 32);
}

TEST(QtServices, ShellOpenFailsForAMissingFileWithoutAskingTheDesktop)
{
    const fs::path dir = Scratch("shell_open");
    std::ofstream(dir / "SmGuide.htm") << "<html></html>";
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    CQtShellOpen shell;
    EXPECT_EQ(shell.Open("SmMnl.htm", dir.string(), SW_SHOWNORMAL), kStartFileNotFound);
    EXPECT_TRUE(recorder.opened.isEmpty());
    EXPECT_GT(shell.Open("SmGuide.htm", dir.string(), SW_SHOWNORMAL), 32);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened[0].toStdString(), (dir / "SmGuide.htm").string());
}

TEST(QtServices, MessageBoxAnswersWithTheButtonPressed)
{
    struct Case {
        unsigned type;
        QMessageBox::StandardButton press;  // NoButton: the box is closed with Escape
        int answer;
    };
    const Case cases[] = {
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::No, IDNO},
        {MB_YESNO, QMessageBox::Yes, IDYES},
        {MB_YESNOCANCEL, QMessageBox::NoButton, IDCANCEL},
        {MB_OKCANCEL, QMessageBox::Ok, IDOK},
        {MB_OK, QMessageBox::NoButton, IDOK},
        {MB_RETRYCANCEL, QMessageBox::Retry, IDRETRY},
    };
    CQtMessageBox box;
    for (const Case& c : cases) {
        QTimer::singleShot(0, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(shown);
            if (c.press == QMessageBox::NoButton)
                QTest::keyClick(shown, Qt::Key_Escape);
            else
                shown->button(c.press)->click();
        });
        EXPECT_EQ(box.Show("Would you like to terminate this operation ?", c.type), c.answer) << c.type;
    }
}

TEST(QtServices, FiltersBecomeQtNameFiltersThatShowTheirNamesAsWrittenAndEndWithAllFiles)
{
    EXPECT_EQ(ToQtFilters("Seamora(*.fit) | *.fit | All files | *.* ||"),
              (QStringList{"Seamora(*.fit) (*.[fF][iI][tT])", "All files (*)"}));
    EXPECT_EQ(ToQtFilters("Pictures | *.jpg;*.JPEG; *.png | |"),
              (QStringList{"Pictures (*.[jJ][pP][gG] *.[jJ][pP][eE][gG] *.[pP][nN][gG])", "All Files (*)"}));
    EXPECT_TRUE(ToQtFilters("").isEmpty());
    EXPECT_EQ(ShownFilterName("Bitmap, JPEG, PNG, TIFF(*.BMP, *.JPG, *.PNG, *.TIF) (*.[bB][mM][pP])"),
              "Bitmap, JPEG, PNG, TIFF(*.BMP, *.JPG, *.PNG, *.TIF)");
}

namespace {

// The names a running file dialog lists in its folder, once its model has read the folder.
QStringList ListedNames(QFileDialog& dialog)
{
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (!model)
        return {};
    const QModelIndex root = model->index(dialog.directory().absolutePath());
    for (int waited = 0; waited < 5000; waited += 20) {
        if (model->canFetchMore(root))
            model->fetchMore(root);
        QTest::qWait(20);
        if (model->rowCount(root) > 0 && !model->canFetchMore(root))
            break;
    }
    QTest::qWait(100);
    QStringList names;
    for (int row = 0; row < model->rowCount(root); ++row)
        names << model->index(row, 0, root).data().toString();
    names.sort();
    return names;
}

// Runs `look` on the file dialog once it is shown, then cancels it.
void WhileDialogShown(const std::function<void(QFileDialog&)>& look)
{
    QTimer::singleShot(0, [look] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(shown);
        look(*shown);
        shown->reject();
    });
}

} // namespace

TEST(QtServices, ImportDialogListsPhotosWhateverTheCaseOfTheirExtensionsAndOffersAllFiles)
{
    const fs::path dir = Scratch("import_case");
    for (const char* name : {"dfm_1.jpg", "DFM_2.JPG", "three.Jpeg", "four.png", "five.TIF", "notes.txt"})
        std::ofstream(dir / name) << "x";
    const std::string filter = "Bitmap, JPEG, PNG, TIFF(*.BMP, *.JPG, *.PNG, *.TIF) |*.BMP;*.bmp;*.jpg;*.jpeg;*.png;"
                               "*.tif|JPEG ( *.JPG ) |*.jpg;*.jpeg;*.JPG;*.JPEG||";
    QStringList first, jpeg, all, shownNames;
    WhileDialogShown([&](QFileDialog& d) {
        first = ListedNames(d);
        auto* combo = d.findChild<QComboBox*>("fileTypeCombo");
        ASSERT_TRUE(combo);
        for (int i = 0; i < combo->count(); ++i)
            shownNames << combo->itemText(i);
        d.selectNameFilter(d.nameFilters().at(1));
        jpeg = ListedNames(d);
        d.selectNameFilter(d.nameFilters().last());
        all = ListedNames(d);
    });
    CQtFileDialog dialog;
    FileDialogRequest request;
    request.initialPath = dir.string() + "/";
    request.filter = filter;
    EXPECT_TRUE(dialog.OpenFiles(request).empty());
    EXPECT_EQ(shownNames, (QStringList{"Bitmap, JPEG, PNG, TIFF(*.BMP, *.JPG, *.PNG, *.TIF)", "JPEG ( *.JPG )",
                                       "All Files"}));
    EXPECT_EQ(first, (QStringList{"DFM_2.JPG", "dfm_1.jpg", "five.TIF", "four.png", "three.Jpeg"}));
    EXPECT_EQ(jpeg, (QStringList{"DFM_2.JPG", "dfm_1.jpg", "three.Jpeg"}));
    EXPECT_EQ(all.size(), 6) << all.join(' ').toStdString();
}

TEST(QtServices, FileDialogsStartInTheFolderUsedLastElseInThePicturesOrHomeFolder)
{
    const fs::path start = fs::current_path();
    const fs::path dir = Scratch("start_folder");
    std::ofstream(dir / "pano.fit") << "x";
    Settings().WriteProfileString("Settings", "LastFolder", "");
    CQtFileDialog dialog;
    FileDialogRequest request;
    request.filter = "Seamora(*.fit) | *.fit ||";

    // Nothing used yet: the pictures folder when there is one, else home; never the folder the
    // program was started in.
    QString first;
    WhileDialogShown([&](QFileDialog& d) { first = d.directory().absolutePath(); });
    EXPECT_FALSE(dialog.OpenFile(request));
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    EXPECT_EQ(first, QFileInfo(pictures).isDir() ? pictures : QDir::homePath());
    EXPECT_NE(first.toStdString(), start.string());

    // A file chosen in a folder: the next dialog, an open or a save without a folder in its
    // name, starts there.
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        d->setDirectory(QString::fromStdString(dir.string()));
        d->selectFile(QStringLiteral("pano.fit"));
        static_cast<QDialog*>(d)->accept();
    });
    ASSERT_EQ(dialog.OpenFile(request), (dir / "pano.fit").string());
    QString next, name;
    WhileDialogShown([&](QFileDialog& d) {
        next = d.directory().absolutePath();
        name = d.selectedFiles().value(0);
    });
    request.initialPath = "FitImage.JPG";
    EXPECT_FALSE(dialog.SaveFile(request));
    EXPECT_EQ(next.toStdString(), dir.string());
    EXPECT_EQ(name.toStdString(), (dir / "FitImage.JPG").string());
    Settings().WriteProfileString("Settings", "LastFolder", "");
}

TEST(QtServices, CursorsAndIconsLoadOnceFromTheDrawnFiles)
{
    InstallQtServices();
    LoadCursorsAndIcons();
    for (int id : kIconIds) {
        EXPECT_EQ(IconHandle(id), id);
        EXPECT_FALSE(AppIcon(id).isNull()) << id;
    }
    for (int id : kCursorIds) {
        EXPECT_EQ(CursorHandle(id), id);
        EXPECT_EQ(AppCursor(id).shape(), Qt::BitmapCursor) << id;
    }
    // Ids outside the lists have no handle: the arrow and no icon.
    EXPECT_EQ(AppCursor(174).shape(), Qt::ArrowCursor);
    EXPECT_TRUE(AppIcon(128).isNull());
    EXPECT_FALSE(LoadBitmapResource(308).isNull());
    EXPECT_TRUE(LoadBitmapResource(9999).isNull());
    RemoveQtServices();
}

#include "test_qt_services.moc"
