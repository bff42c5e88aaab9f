// Controls by id and their notices.
#include "platform/qt/dialog_base.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace platform::qt {

CTriStateBox::CTriStateBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) { setTristate(true); }

void CTriStateBox::nextCheckState()
{
    switch (checkState()) {
    case Qt::Unchecked: setCheckState(Qt::Checked); break;
    case Qt::Checked: setCheckState(Qt::PartiallyChecked); break;
    default: setCheckState(Qt::Unchecked); break;
    }
}

CSpinScrollBar::CSpinScrollBar(Qt::Orientation o, QWidget* parent) : QScrollBar(o, parent)
{
    setRange(0, 2);
    setPageStep(1);
    setValue(1);
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        int code = -1;
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
        case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
        case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
        case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
        case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
        case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
        case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
        default: break;
        }
        if (code >= 0)
            emit Scrolled(code);
    });
    // After every step the bar goes back to the middle without a further action.
    connect(this, &QAbstractSlider::valueChanged, this, [this](int v) {
        if (v != 1 && !isSliderDown()) {
            const QSignalBlocker block(this);
            setValue(1);
        }
    });
    connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        emit Scrolled(SB_ENDSCROLL);
        const QSignalBlocker block(this);
        setValue(1);
    });
}

CDialogBase::CDialogBase(QWidget* parent) : QDialog(parent)
{
    // Dialogs share the grey face of the program.
    setAutoFillBackground(true);
}

void CDialogBase::AddControl(int id, QWidget* control)
{
    m_controls[id] = control;
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        // textChanged also fires for setText: the program's own changes are reported too.
        connect(edit, &QLineEdit::textChanged, this, [this, id] { OnCommand(id, EN_CHANGE); });
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(control)) {
        connect(text, &QPlainTextEdit::textChanged, this, [this, id] { OnCommand(id, EN_CHANGE); });
    } else if (auto* spin = qobject_cast<CSpinScrollBar*>(control)) {
        connect(spin, &CSpinScrollBar::Scrolled, this, [this, id](int code) { OnScroll(id, code); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // Only the user's choice is reported (activated), not setCurrentIndex.
        connect(combo, &QComboBox::activated, this, [this, id] { OnCommand(id, CBN_SELCHANGE); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id, BN_CLICKED); });
    }
}

QWidget* CDialogBase::GetDlgItem(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialogBase::SetDlgItemText(int id, const std::string& text)
{
    const QString s = QString::fromStdString(text);
    QWidget* w = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(s);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setPlainText(s);
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(s);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(s);
    else if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->isEditable())
        combo->setEditText(s);
    else if (w)
        w->setWindowTitle(s);
}

std::string CDialogBase::GetDlgItemText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text().toStdString();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return plain->toPlainText().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText().toStdString();
    return {};
}

void CDialogBase::SetDlgItemInt(int id, int value) { SetDlgItemText(id, std::to_string(value)); }

int CDialogBase::GetDlgItemInt(int id, bool* ok) const
{
    bool good = false;
    const int v = QString::fromStdString(GetDlgItemText(id)).trimmed().toInt(&good);
    if (ok)
        *ok = good;
    return good ? v : 0;
}

void CDialogBase::CheckDlgButton(int id, int state)
{
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    if (!button)
        return;
    if (auto* box = qobject_cast<QCheckBox*>(button))
        box->setCheckState(state == BST_CHECKED         ? Qt::Checked
                           : state == BST_INDETERMINATE ? Qt::PartiallyChecked
                                                        : Qt::Unchecked);
    else
        button->setChecked(state == BST_CHECKED);
}

int CDialogBase::IsDlgButtonChecked(int id) const
{
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    if (!button)
        return BST_UNCHECKED;
    if (auto* box = qobject_cast<QCheckBox*>(button)) {
        switch (box->checkState()) {
        case Qt::Checked: return BST_CHECKED;
        case Qt::PartiallyChecked: return BST_INDETERMINATE;
        default: return BST_UNCHECKED;
        }
    }
    return button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CDialogBase::EnableItem(int id, bool enable)
{
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(enable);
}

void CDialogBase::ShowItem(int id, bool show)
{
    if (QWidget* w = GetDlgItem(id))
        w->setVisible(show);
}

int CDialogBase::AddString(int id, const std::string& text)
{
    auto* combo = qobject_cast<QComboBox*>(GetDlgItem(id));
    if (!combo)
        return -1;
    combo->addItem(QString::fromStdString(text));
    return combo->count() - 1;
}

void CDialogBase::ResetContent(int id)
{
    if (auto* combo = qobject_cast<QComboBox*>(GetDlgItem(id)))
        combo->clear();
}

void CDialogBase::SetCurSel(int id, int index)
{
    if (auto* combo = qobject_cast<QComboBox*>(GetDlgItem(id)))
        combo->setCurrentIndex(index);
}

int CDialogBase::GetCurSel(int id) const
{
    auto* combo = qobject_cast<QComboBox*>(GetDlgItem(id));
    return combo ? combo->currentIndex() : -1;
}

int CDialogBase::DoModal()
{
    if (!OnInitDialog())
        return 2;
    return exec();
}

void CDialogBase::OnCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return;
    if (id == 1)
        OnOK();
    else if (id == 2)
        OnCancel();
}

void CDialogBase::OnScroll(int, int) {}

} // namespace platform::qt
