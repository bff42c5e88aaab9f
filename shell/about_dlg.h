// The About box: the program icon, the version line and two lines of notes.
#pragma once

#include <string>

#include "platform/qt/dialog_base.h"

class CAboutDlg : public platform::qt::CDialogBase {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    std::string m_versionText;

protected:
    bool OnInitDialog() override;
};
