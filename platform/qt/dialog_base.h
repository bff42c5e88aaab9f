// Dialogs with controls addressed by numeric id and notices in the style the dialogs are
// written for: an edit reports a change also when the program sets its text; a button reports
// a click; a combo box reports a selection only when the user makes it; three-state check
// boxes cycle unchecked, checked, indeterminate; scroll bars work as spinners and report their
// scroll codes.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QScrollBar>

#include <map>
#include <string>

namespace platform::qt {

// Notice codes.
enum : int { BN_CLICKED = 0, EN_CHANGE = 0x300, CBN_SELCHANGE = 1 };
// Scroll codes.
enum : int {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};
// Check states.
enum : int { BST_UNCHECKED = 0, BST_CHECKED = 1, BST_INDETERMINATE = 2 };

// A check box whose third state follows "checked" in the click cycle.
class CTriStateBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CTriStateBox(const QString& text, QWidget* parent = nullptr);

protected:
    void nextCheckState() override;
};

// A scroll bar used as a spinner: every step reports its code and the bar returns to its
// middle, so it never runs out of room.
class CSpinScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit CSpinScrollBar(Qt::Orientation o, QWidget* parent = nullptr);
signals:
    void Scrolled(int code);
};

class CDialogBase : public QDialog {
    Q_OBJECT
public:
    explicit CDialogBase(QWidget* parent = nullptr);

    // Registers a control under an id; its notices go to OnCommand / OnScroll from then on.
    void AddControl(int id, QWidget* control);
    QWidget* GetDlgItem(int id) const;

    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void SetDlgItemInt(int id, int value);
    // The number in the control's text; `ok` false when it holds none.
    int GetDlgItemInt(int id, bool* ok = nullptr) const;
    void CheckDlgButton(int id, int state);
    int IsDlgButtonChecked(int id) const;
    void EnableItem(int id, bool enable);
    void ShowItem(int id, bool show);

    // Combo boxes: entries and selection; setting the selection sends no notice.
    int AddString(int id, const std::string& text);
    void ResetContent(int id);
    void SetCurSel(int id, int index);
    int GetCurSel(int id) const;

    // Shows the dialog modally: the button pressed (IDOK 1 or IDCANCEL 2).
    int DoModal();

protected:
    // Called once before the dialog is shown; answer true.
    virtual bool OnInitDialog() { return true; }
    // Notices of the controls: id and code (BN_CLICKED, EN_CHANGE, CBN_SELCHANGE).
    virtual void OnCommand(int id, int code);
    // A spinner step: the scroll bar's id and the scroll code.
    virtual void OnScroll(int id, int code);
    virtual void OnOK() { done(1); }
    virtual void OnCancel() { done(2); }
    void reject() override { OnCancel(); }

private:
    std::map<int, QWidget*> m_controls;
};

} // namespace platform::qt
