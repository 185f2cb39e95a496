#include "platform/FolderBrowser.h"

#include <QFileDialog>

QString BrowseForFolder(QWidget *owner, const QString &prompt, const QString &startFolder)
{
    QFileDialog dialog(owner, prompt, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    // The platforms' own folder pickers show a prompt in the title bar at most; Qt's shows it
    // in place of "Look in:".
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::LookIn, prompt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
