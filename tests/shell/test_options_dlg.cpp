// The Options dialog: the size rules (edits in a fixed aspect, the slider, the pixel label)
// and the dialog's radios and results.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>
#include <vector>

#include "document/commands_table.h"
#include "document/sm_doc.h"
#include "shell/options_dlg.h"
#include "shell/options_model.h"

namespace {

struct Step {
    char what;  // 'W' width typed, 'H' height typed, 'S' slider moved, 'R' slider released
    const char* text;
    int pos;
};

struct Start {
    int width, height;
    double aspect;
    int fullWidth;
};

COptionsModel Shown(const Start& s)
{
    COptionsModel m;
    m.m_width = s.width;
    m.m_height = s.height;
    m.m_aspect = s.aspect;
    m.m_fullWidth = s.fullWidth;
    m.Show();
    return m;
}

void Play(COptionsModel& m, const std::vector<Step>& steps)
{
    for (const Step& s : steps) {
        switch (s.what) {
        case 'W': m.SetWidthText(s.text); break;
        case 'H': m.SetHeightText(s.text); break;
        case 'S': m.MoveSlider(s.pos); break;
        case 'R': m.ReleaseSlider(); break;
        }
    }
}

} // namespace

TEST(OptionsModel, SizeRules)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        Start start;
        std::vector<Step> steps;
        int width, height, slider;
        const char* widthText;
        const char* heightText;
    };
    const Case cases[] = {
        {"shown as given", {1000, 500, 0.5, 2000}, {}, 1000, 500, 52, "1000", "500"},
        {"full width 10 or less is 2000", {500, 500, 1.0, 10}, {}, 500, 500, 77, "500", "500"},
        {"width 0 typed gives 1", {640, 480, 0.75, 2000}, {{'W', "0", 0}}, 1, 1, 100, "0", "1"},
        {"width 0 at aspect 3", {300, 900, 3.0, 2000}, {{'W', "0", 0}}, 1, 3, 100, "0", "3"},
        {"text that is no number counts as 0", {300, 900, 3.0, 2000}, {{'W', "abc", 0}}, 1, 3, 100, "abc", "3"},
        {"slider at 2 gives the full width", {1000, 500, 0.5, 2000}, {{'S', "", 2}}, 2000, 1000, 2, "2000", "1000"},
        {"slider at 100 gives 2 %", {1000, 500, 0.5, 2000}, {{'S', "", 100}}, 40, 20, 100, "40", "20"},
        {"slider at 52 gives half", {2000, 1000, 0.5, 2000}, {{'S', "", 52}}, 1000, 500, 52, "1000", "500"},
        {"height at aspect 3: the width rule sees no change", {300, 900, 3.0, 2000}, {{'H', "100", 0}}, 33, 100, 100,
         "33", "100"},
        {"height 0 typed gives 1", {100, 200, 2.0, 2000}, {{'H', "0", 0}}, 1, 1, 100, "1", "0"},
        // The program's own slider position never rewrites the typed width.
        {"typed width moves the slider only", {1000, 500, 0.5, 2000}, {{'W', "1234", 0}}, 1234, 617, 41, "1234", "617"},
        {"first slider move after typing counts", {1000, 500, 0.5, 2000}, {{'W', "1234", 0}, {'S', "", 60}}, 840, 420,
         60, "840", "420"},
        {"slider drag, release, then typing", {1000, 500, 0.5, 2000},
         {{'S', "", 30}, {'S', "", 40}, {'R', "", 0}, {'W', "100", 0}}, 100, 50, 97, "100", "50"},
        // 999999 x 0.5 = 499999.5: the whole part, the height the document writes for that width.
        {"typed width clamped to 999999", {1000, 500, 0.5, 2000}, {{'W', "5000000", 0}}, 999999, 499999, 2,
         "5000000", "499999"},
        {"typed height clamped to 999999", {1000, 1000, 1.0, 2000}, {{'H', "99999999", 0}}, 999999, 999999, 2,
         "999999", "99999999"},
        {"negative width counts as 1", {1000, 1000, 1.0, 2000}, {{'W', "-20", 0}}, 1, 1, 100, "-20", "1"},
        {"NaN aspect counts as 1", {100, 100, nan, 2000}, {{'H', "300", 0}}, 300, 300, 87, "300", "300"},
        {"infinite aspect counts as 1", {100, 100, inf, 2000}, {{'W', "250", 0}}, 250, 250, 90, "250", "250"},
        {"negative aspect counts as 1", {100, 100, -2.0, 2000}, {{'W', "50", 0}}, 50, 50, 100, "50", "50"},
    };
    for (const Case& c : cases) {
        COptionsModel m = Shown(c.start);
        Play(m, c.steps);
        EXPECT_EQ(m.m_width, c.width) << c.what;
        EXPECT_EQ(m.m_height, c.height) << c.what;
        EXPECT_EQ(m.m_slider, c.slider) << c.what;
        EXPECT_EQ(m.m_widthText, c.widthText) << c.what;
        EXPECT_EQ(m.m_heightText, c.heightText) << c.what;
        EXPECT_EQ(m.m_label, InsertThousandsSeparators(m.m_width) + " * " + InsertThousandsSeparators(m.m_height) +
                                 " = " + InsertThousandsSeparators(int64_t(m.m_width) * m.m_height))
            << c.what;
    }
}

TEST(OptionsModel, PixelLabelCountsIn64Bits)
{
    EXPECT_EQ(InsertThousandsSeparators(0), "0");
    EXPECT_EQ(InsertThousandsSeparators(999), "999");
    EXPECT_EQ(InsertThousandsSeparators(1000), "1,000");
    EXPECT_EQ(InsertThousandsSeparators(1234567), "1,234,567");
    EXPECT_EQ(InsertThousandsSeparators(-1234), "-1,234");
    COptionsModel m = Shown({999999, 999999, 1.0, 2000});
    EXPECT_EQ(m.m_label, "999,999 * 999,999 = 999,998,000,001");
}

namespace {
QRadioButton* Radio(COptionsDlg& d, int id) { return qobject_cast<QRadioButton*>(d.GetDlgItem(id)); }
std::vector<int> CheckedProjections(COptionsDlg& d)
{
    std::vector<int> out;
    for (int id : {COptionsDlg::IDC_LINEAR, COptionsDlg::IDC_ULTRA_WIDE, COptionsDlg::IDC_PANORAMA,
                   COptionsDlg::IDC_FISHEYE})
        if (Radio(d, id)->isChecked())
            out.push_back(id);
    return out;
}
} // namespace

TEST(OptionsDialog, MoviePreviewLeavesOnlyPanoramaChecked)
{
    for (int family : {0, 1, 3}) {
        COptionsDlg d;
        d.SetFamily(family);
        d.SetAreaMode(0);
        d.SetOutputSize({800, 600});
        d.OnInitDialog();
        EXPECT_EQ(d.windowTitle(), "Options");
        qobject_cast<QPushButton*>(d.GetDlgItem(COptionsDlg::IDC_MOVIE_PREVIEW))->click();
        EXPECT_EQ(d.result(), 4) << family;
        EXPECT_EQ(CheckedProjections(d), std::vector<int>{COptionsDlg::IDC_PANORAMA}) << family;
        EXPECT_EQ(d.GetFamily(), 2) << family;
    }
    // While the movie area is shown (area mode 3) the projection stays and no shape is checked.
    COptionsDlg d;
    d.SetFamily(1);
    d.SetAreaMode(3);
    d.OnInitDialog();
    EXPECT_EQ(d.windowTitle(), "Options - QuickTime VR preview") << "the dialog says its sizes are the movie's";
    EXPECT_FALSE(Radio(d, COptionsDlg::IDC_RECTANGLE)->isChecked());
    qobject_cast<QPushButton*>(d.GetDlgItem(COptionsDlg::IDC_MOVIE_PREVIEW))->click();
    EXPECT_EQ(d.result(), 4);
    EXPECT_EQ(CheckedProjections(d), std::vector<int>{COptionsDlg::IDC_ULTRA_WIDE});
    EXPECT_EQ(d.GetAreaMode(), 3);
}

TEST(OptionsDialog, ResultsAndChoicesReadBack)
{
    struct Case {
        int button;
        int result;
        bool renderNow;
        int family, area;
    };
    // The user picks Fisheye and Circle, then ends the dialog with each button.
    const Case cases[] = {
        {1, 1, false, 3, 1},
        {COptionsDlg::IDC_SAVE_IMAGE, 1, true, 3, 1},
        {2, 2, false, 0, 2},
    };
    for (const Case& c : cases) {
        COptionsDlg d;
        d.SetFamily(0);
        d.SetAreaMode(2);
        d.OnInitDialog();
        Radio(d, COptionsDlg::IDC_FISHEYE)->click();
        Radio(d, COptionsDlg::IDC_CIRCLE)->click();
        qobject_cast<QPushButton*>(d.GetDlgItem(c.button))->click();
        EXPECT_EQ(d.result(), c.result) << c.button;
        EXPECT_EQ(d.RenderNow(), c.renderNow) << c.button;
        EXPECT_EQ(d.GetFamily(), c.family) << c.button;
        EXPECT_EQ(d.GetAreaMode(), c.area) << c.button;
        EXPECT_EQ(CheckedProjections(d).size(), 1u) << c.button;
    }
}

TEST(OptionsDialog, TypingAndSlidingRunTheRules)
{
    COptionsDlg d;
    d.SetOutputSize({300, 900});
    d.SetAspect(3.0);
    d.SetReferenceWidth(2000);
    d.OnInitDialog();
    auto* width = qobject_cast<QLineEdit*>(d.GetDlgItem(COptionsDlg::IDC_WIDTH));
    auto* height = qobject_cast<QLineEdit*>(d.GetDlgItem(COptionsDlg::IDC_HEIGHT));
    EXPECT_EQ(width->text(), "300");
    EXPECT_EQ(d.GetDlgItemText(COptionsDlg::IDC_PIXELS), "300 * 900 = 270,000");

    height->selectAll();
    QTest::keyClicks(height, "100");
    EXPECT_EQ(width->text(), "33");
    EXPECT_EQ(height->text(), "100");
    EXPECT_EQ(d.GetWidth(), 33);
    EXPECT_EQ(d.GetDlgItemText(COptionsDlg::IDC_PIXELS), "33 * 100 = 3,300");
    EXPECT_EQ(d.Slider()->value(), 100);

    // The user's slider move right after typing counts.
    d.Slider()->setValue(52);
    EXPECT_EQ(width->text(), "1000");
    EXPECT_EQ(height->text(), "3000");
    EXPECT_EQ(d.GetDlgItemText(COptionsDlg::IDC_PIXELS), "1,000 * 3,000 = 3,000,000");
}

// The size the dialog shows for a typed width is the size the document then writes: the
// height comes from the rendering area's proportions, not from those of the output size the
// dialog was opened with (which are rounded to whole pixels, badly so at the small sizes).
TEST(OptionsDialog, ShowsTheSizeTheDocumentWrites)
{
    struct Case {
        const char* what;
        CRect area;
        int sizeMode;
        const char* typed;
        const char* label;  // what the dialog shows after typing
    };
    const Case cases[] = {
        {"4:3 area opened at the small size", {-2000, -1500, 2000, 1500}, 2, "6000", "6,000 * 4,500 = 27,000,000"},
        {"4:3 area opened at the medium size", {-2000, -1500, 2000, 1500}, 1, "6000", "6,000 * 4,500 = 27,000,000"},
        // 6001 x 2134 / 3201 = 4000.6: the whole part, not the rounded value, is written.
        {"3201 x 2134 area", {-1601, -1067, 1600, 1067}, 2, "6001", "6,001 * 4,000 = 24,004,000"},
        {"narrow panorama strip", {0, 0, 7919, 1013}, 0, "12345", "12,345 * 1,579 = 19,492,755"},
        {"tall area", {0, 0, 997, 3001}, 2, "777", "777 * 2,338 = 1,816,626"},
    };
    for (const Case& c : cases) {
        CSmDoc doc;
        COptionsDlg d;
        SetOptionBox(&d);
        doc.m_renderArea = c.area;
        doc.m_sizeMode = c.sizeMode;
        std::string shown;
        QTimer::singleShot(0, &d, [&] {
            auto* width = qobject_cast<QLineEdit*>(d.GetDlgItem(COptionsDlg::IDC_WIDTH));
            width->selectAll();
            QTest::keyClicks(width, QString::fromUtf8(c.typed));
            shown = d.GetDlgItemText(COptionsDlg::IDC_PIXELS);
            qobject_cast<QPushButton*>(d.GetDlgItem(1))->click();
        });
        doc.OnProcessOptionBox();
        SetOptionBox(nullptr);
        EXPECT_EQ(shown, c.label) << c.what;
        const CSize written = doc.m_outputSize;
        EXPECT_EQ(shown, InsertThousandsSeparators(written.cx) + " * " + InsertThousandsSeparators(written.cy) +
                             " = " + InsertThousandsSeparators(int64_t(written.cx) * written.cy))
            << c.what;
        EXPECT_EQ(doc.GetOutputSize(1), written) << c.what;
    }
}
