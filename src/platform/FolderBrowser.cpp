#include "platform/FolderBrowser.h"

#include "platform/PathHelpers.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

// Qt's folder picker; with offerNewFolder it offers to make a folder typed by a name that does
// not exist yet.
class FolderPicker : public QFileDialog
{
public:
    FolderPicker(QWidget *owner, const QString &prompt, const QString &startFolder, bool offerNewFolder)
        : QFileDialog(owner, prompt, startFolder), m_offerNewFolder(offerNewFolder)
    {
        setFileMode(QFileDialog::Directory);
        // The platforms' own folder pickers show a prompt in the title bar at most; Qt's shows it
        // in place of "Look in:".
        setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        setLabelText(QFileDialog::LookIn, prompt);
    }

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (m_offerNewFolder && chosen.size() == 1 && !QFileInfo::exists(chosen.constFirst()) &&
            !makeFolder(chosen.constFirst()))
            return; // the picker stays open
        QFileDialog::accept();
    }

private:
    bool makeFolder(const QString &folder)
    {
        const QString shown = QDir::toNativeSeparators(folder);
        if (QMessageBox::question(this, windowTitle(),
                                  QStringLiteral("The folder %1 does not exist.\nCreate it?").arg(shown),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
            return false;
        const FileResult made = EnsureFolderExists(folder);
        if (!made.ok)
            QMessageBox::warning(this, windowTitle(), made.error);
        return made.ok;
    }

    bool m_offerNewFolder;
};

} // namespace

QString BrowseForFolder(QWidget *owner, const QString &prompt, const QString &startFolder, bool offerNewFolder)
{
    FolderPicker picker(owner, prompt, startFolder, offerNewFolder);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return {};
    return picker.selectedFiles().constFirst();
}
