// The picture information pane (left, bottom) in its first form: a plain drawing surface with
// the name the frame knows it by.
#pragma once

#include "platform/qt/surface_widget.h"

class CThumView : public platform::qt::CSurfaceWidget {
    Q_OBJECT
public:
    explicit CThumView(QWidget* parent = nullptr);
};
