// The About box.
#include "shell/about_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/qt/resources.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CDialogBase(parent)
{
    setWindowTitle(QStringLiteral("About Seamora"));
    auto* grid = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(platform::qt::LoadIconResource(128).pixmap(32, 32));
    auto* version = new QLabel(QStringLiteral("Seamora 1.03"), this);
    auto* line1 = new QLabel(QStringLiteral("Stitches overlapping photographs into panoramas."), this);
    auto* line2 = new QLabel(QStringLiteral("Drop your photos on the work space, then Fit."), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(line1, 1, 1);
    grid->addWidget(line2, 2, 1);
    grid->addWidget(ok, 0, 2);
    AddControl(1169, version);
    AddControl(1, ok);
}

bool CAboutDlg::OnInitDialog()
{
    if (GetDlgItem(1169))
        SetDlgItemText(1169, m_versionText);
    return true;
}
