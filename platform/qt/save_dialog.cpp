#include "platform/qt/save_dialog.h"

#include <QLineEdit>

namespace {

// The dialog's own name field.
QLineEdit* NameField(const QFileDialog& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

} // namespace

std::string RewriteNameForFilter(const std::string& shown, int index, const std::vector<std::string>& extensions)
{
    const int count = static_cast<int>(extensions.size());
    if (shown.empty() || index < 1 || index >= count - 1)
        return shown;
    const size_t slash = shown.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = shown.find_last_of('.');
    const std::string title = dot == std::string::npos || dot < nameStart ? shown : shown.substr(0, dot);
    return title + extensions[static_cast<size_t>(index)];
}

CFileDialogExt::CFileDialogExt(QWidget* parent) : QFileDialog(parent)
{
    // Our own dialog, so that the name field can follow the type; the overwrite question stays.
    setOption(QFileDialog::DontUseNativeDialog, true);
    connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) { OnTypeChange(filter); });
}

QString CFileDialogExt::ShownName() const
{
    const QLineEdit* field = NameField(*this);
    return field ? field->text() : QString();
}

void CFileDialogExt::OnTypeChange(const QString& filter)
{
    QLineEdit* field = NameField(*this);
    if (!field)
        return;
    const std::string shown = field->text().toStdString();
    const int index = static_cast<int>(nameFilters().indexOf(filter)) + 1;
    const std::string name = RewriteNameForFilter(shown, index, m_filterExtensions);
    if (name != shown)
        field->setText(QString::fromStdString(name));
}
