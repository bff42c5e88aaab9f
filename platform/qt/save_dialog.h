// The save dialog with one extension per type filter: when the user picks another file type,
// the extension of the name in the name field follows it.
#pragma once

#include <QFileDialog>

#include <string>
#include <vector>

// The name the name field shows after the filter `index` (counted from 1) was picked: the
// shown name without its extension, followed by that filter's extension. Index 0, the last
// filter (all files), an empty list and an empty name leave the name as it is.
std::string RewriteNameForFilter(const std::string& shown, int index, const std::vector<std::string>& extensions);

class CFileDialogExt : public QFileDialog {
public:
    explicit CFileDialogExt(QWidget* parent = nullptr);
    // One extension (with its ".") per filter, entry 0 unused. Call before showing the dialog.
    void SetFilterExtensions(const std::vector<std::string>& extensions) { m_filterExtensions = extensions; }
    // The text of the name field.
    QString ShownName() const;

private:
    void OnTypeChange(const QString& filter);

    std::vector<std::string> m_filterExtensions;
};
