#include "FolderBrowser.h"

#include <QFileDialog>

QString BrowseForFolder(QWidget *owner, const QString &prompt)
{
    return QFileDialog::getExistingDirectory(owner, prompt, QString(), QFileDialog::ShowDirsOnly);
}
