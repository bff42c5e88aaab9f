// Panes of the main window in their first form: plain drawing surfaces with the names the
// frame knows them by. The image finder (left, top) and the manager pane (right); the work view
// and the picture information pane have their own classes (sm_view.h, thum_view.h).
#pragma once

#include "platform/qt/surface_widget.h"

class CLeftView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
};

class CAutLayView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CAutLayView(QWidget* parent = nullptr);
};
