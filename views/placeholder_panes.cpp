// The pane's name and background.
#include "views/placeholder_panes.h"

namespace {
void Name(QWidget* w, const char* name, COLORREF background)
{
    w->setObjectName(QString::fromLatin1(name));
    static_cast<platform::qt::CSurfaceWidget*>(w)->SetBackground(background);
    w->setMouseTracking(true);
    w->setMinimumSize(1, 1);
}
} // namespace

CThumView::CThumView(QWidget* parent) : CSurfaceWidget(parent) { Name(this, "CThumView", RGB(192, 192, 192)); }
