// The main window's three-column splitter. After the user drags a bar it tells the frame the
// new widths of the side columns.
#pragma once

#include <QSplitter>

#include <functional>

class CSplitt : public QSplitter {
    Q_OBJECT
public:
    explicit CSplitt(QWidget* parent = nullptr);
    // Called with the widths of column 0 and column 2 when a drag ends.
    void SetDragListener(std::function<void(int finder, int manager)> listener) { m_listener = std::move(listener); }
    void OnDragEnded();

protected:
    QSplitterHandle* createHandle() override;

private:
    std::function<void(int, int)> m_listener;
};
