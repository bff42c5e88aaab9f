// The panes' names and backgrounds.
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

CLeftView::CLeftView(QWidget* parent) : CSurfaceWidget(parent) { Name(this, "CLeftView", RGB(255, 255, 255)); }
CAutLayView::CAutLayView(QWidget* parent) : CSurfaceWidget(parent) { Name(this, "CAutLayView", RGB(240, 240, 240)); }
