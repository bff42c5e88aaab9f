// Dialog controls by id and their notices.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "platform/qt/dialog_base.h"

using namespace platform::qt;

namespace {

class RecordingDialog : public CDialogBase {
public:
    std::vector<std::pair<int, int>> commands;
    std::vector<std::pair<int, int>> scrolls;
    QLineEdit* edit = new QLineEdit(this);
    CTriStateBox* box = new CTriStateBox("Draw", this);
    QComboBox* combo = new QComboBox(this);
    CSpinScrollBar* spin = new CSpinScrollBar(Qt::Vertical, this);

    RecordingDialog()
    {
        AddControl(1077, edit);
        AddControl(1115, box);
        AddControl(1140, combo);
        AddControl(1097, spin);
        AddString(1140, "one");
        AddString(1140, "two");
        AddString(1140, "three");
    }

protected:
    void OnCommand(int id, int code) override { commands.emplace_back(id, code); }
    void OnScroll(int id, int code) override { scrolls.emplace_back(id, code); }
};

} // namespace

TEST(DialogBase, EditReportsChangesAlsoWhenTheProgramSetsTheText)
{
    RecordingDialog d;
    d.SetDlgItemInt(1077, 254);
    EXPECT_EQ(d.GetDlgItemText(1077), "254");
    bool ok = false;
    EXPECT_EQ(d.GetDlgItemInt(1077, &ok), 254);
    EXPECT_TRUE(ok);
    QTest::keyClick(d.edit, Qt::Key_1);
    EXPECT_EQ(d.commands, (std::vector<std::pair<int, int>>{{1077, EN_CHANGE}, {1077, EN_CHANGE}}));
    d.SetDlgItemText(1077, "abc");
    d.GetDlgItemInt(1077, &ok);
    EXPECT_FALSE(ok);
}

TEST(DialogBase, ThreeStateBoxCyclesUncheckedCheckedIndeterminate)
{
    RecordingDialog d;
    std::vector<int> states;
    for (int i = 0; i < 4; ++i) {
        d.box->click();
        states.push_back(d.IsDlgButtonChecked(1115));
    }
    EXPECT_EQ(states, (std::vector<int>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED, BST_CHECKED}));
    EXPECT_EQ(d.commands.size(), 4u);
    d.CheckDlgButton(1115, BST_INDETERMINATE);
    EXPECT_EQ(d.IsDlgButtonChecked(1115), BST_INDETERMINATE);
}

TEST(DialogBase, ComboReportsOnlyTheUsersSelection)
{
    RecordingDialog d;
    d.SetCurSel(1140, 2);
    EXPECT_EQ(d.GetCurSel(1140), 2);
    EXPECT_TRUE(d.commands.empty());
    d.SetCurSel(1140, 0);
    QTest::keyClick(d.combo, Qt::Key_Down);
    EXPECT_EQ(d.GetCurSel(1140), 1);
    EXPECT_EQ(d.commands, (std::vector<std::pair<int, int>>{{1140, CBN_SELCHANGE}}));
}

TEST(DialogBase, SpinnerScrollBarReportsScrollCodesAndNeverRunsOut)
{
    RecordingDialog d;
    for (int i = 0; i < 3; ++i)
        d.spin->triggerAction(QAbstractSlider::SliderSingleStepSub);
    d.spin->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    d.spin->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(d.scrolls, (std::vector<std::pair<int, int>>{
                             {1097, SB_LINEUP}, {1097, SB_LINEUP}, {1097, SB_LINEUP}, {1097, SB_LINEDOWN}, {1097, SB_PAGEDOWN}}));
    EXPECT_EQ(d.spin->value(), 1);
}
