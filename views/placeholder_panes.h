// The four panes of the main window in their first form: plain drawing surfaces with the
// names the frame knows them by. The image finder (left, top), the picture information pane
// (left, bottom), the work view (middle) and the manager pane (right).
#pragma once

#include "platform/qt/surface_widget.h"

class CLeftView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
};

class CThumView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CThumView(QWidget* parent = nullptr);
};

class CSmView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CSmView(QWidget* parent = nullptr);
};

class CAutLayView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CAutLayView(QWidget* parent = nullptr);
};
