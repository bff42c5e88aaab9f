// The save dialog's name field follows the chosen file type.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include "platform/qt/save_dialog.h"

namespace {

const std::vector<std::string> kExtensions = {"", ".JPG", ".BMP", ".TIF", ".PNG", ".MOV", ""};

TEST(SaveDialog, NameFollowsTheFilterExceptForAllFilesAndUnknownIndexes)
{
    struct Case {
        const char* shown;
        int index;
        const char* name;
    };
    const Case cases[] = {
        {"pano.JPG", 3, "pano.TIF"},   {"pano.JPG", 6, "pano.JPG"}, {"pano", 4, "pano.PNG"},
        {"pano.JPG", 0, "pano.JPG"},   {"pano.JPG", 7, "pano.JPG"}, {"a.b.jpg", 2, "a.b.BMP"},
        {"my.pics/pano", 1, "my.pics/pano.JPG"}, {"", 1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RewriteNameForFilter(c.shown, c.index, kExtensions), c.name) << c.shown << " " << c.index;
    EXPECT_EQ(RewriteNameForFilter("pano.JPG", 1, {}), "pano.JPG");
    EXPECT_EQ(RewriteNameForFilter("pano.JPG", 1, {"", ".X"}), "pano.JPG") << "the last entry is never applied";
}

TEST(SaveDialog, PickingAnotherTypeRewritesTheNameField)
{
    CFileDialogExt dialog;
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({"Jpeg (*.JPG)", "BitMap (*.BMP)", "Tiff (*.TIF)", "PNG (*.PNG)", "QuickTime VR (*.MOV)",
                           "All Files (*)"});
    dialog.SetFilterExtensions(kExtensions);
    dialog.selectFile("pano.JPG");
    auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(dialog.ShownName(), "pano.JPG");

    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(dialog.ShownName(), "pano.TIF");
    combo->setCurrentIndex(5);
    emit combo->activated(5);
    EXPECT_EQ(dialog.ShownName(), "pano.TIF") << "all files keep the name";
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
}

} // namespace
