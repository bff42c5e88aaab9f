// A command bar of the main window: a label and buttons with bitmaps, each button carrying a
// command id. The bar's window id is its template id.
#pragma once

#include <QToolBar>

#include <functional>
#include <map>

class QAction;

struct BarButton {
    int id;
    const char* caption;
    int bitmap;
};

class CDialogBar : public QToolBar {
    Q_OBJECT
public:
    // A bar `barId` with its label static and buttons; a button whose bitmap is missing is
    // left out. `onCommand` runs a button's command id.
    CDialogBar(int barId, int labelId, const char* label, const std::vector<BarButton>& buttons,
               std::function<void(int)> onCommand, QWidget* parent = nullptr);

    int BarId() const { return m_barId; }
    // The action of a button's command id; none when the bar has no such button.
    QAction* Button(int id) const;
    const std::map<int, QAction*>& Buttons() const { return m_buttons; }

private:
    int m_barId;
    std::map<int, QAction*> m_buttons;
};
