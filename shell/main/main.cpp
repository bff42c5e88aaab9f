// The program Smra_En: the Qt application and the application object.
#include <QApplication>

#include <string>
#include <vector>

#include "shell/sm_app.h"

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Seamora"));
    std::vector<std::string> arguments;
    for (const QString& a : QApplication::arguments())
        arguments.push_back(a.toStdString());
    CSmApp app;
    if (!app.InitInstance(arguments))
        return app.ShellPrinted() ? 0 : 1;
    return QApplication::exec();
}
