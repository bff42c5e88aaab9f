// Command bars with a label and bitmap buttons.
#include "shell/dialog_bar.h"

#include <QAction>
#include <QLabel>

#include "platform/qt/resources.h"

CDialogBar::CDialogBar(int barId, int labelId, const char* label, const std::vector<BarButton>& buttons,
                       std::function<void(int)> onCommand, QWidget* parent)
    : QToolBar(QString::fromLatin1(label).trimmed(), parent), m_barId(barId)
{
    setObjectName(QStringLiteral("bar%1").arg(barId));
    setProperty("barId", barId);
    setMovable(true);
    setFloatable(true);
    setAllowedAreas(Qt::AllToolBarAreas);
    setIconSize(QSize(20, 20));
    auto* text = new QLabel(QString::fromLatin1(label), this);
    text->setObjectName(QStringLiteral("static%1").arg(labelId));
    text->setContentsMargins(4, 0, 6, 0);
    addWidget(text);
    for (const BarButton& b : buttons) {
        const QPixmap bitmap = platform::qt::LoadBitmapResource(b.bitmap);
        if (bitmap.isNull())
            continue;
        QAction* a = addAction(QIcon(bitmap), QString::fromLatin1(b.caption));
        a->setToolTip(QString::fromLatin1(b.caption));
        a->setStatusTip(QString::fromLatin1(b.caption));
        a->setData(b.id);
        const int id = b.id;
        connect(a, &QAction::triggered, this, [onCommand, id] {
            if (onCommand)
                onCommand(id);
        });
        m_buttons[id] = a;
    }
}

QAction* CDialogBar::Button(int id) const
{
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}
