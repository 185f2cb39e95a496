#include "app/DialogPrompts.h"

#include "app/ReportBox.h"
#include "platform/FolderBrowser.h"
#include "platform/PathHelpers.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

// The texts keep Windows line breaks; a Qt label shows a plain line feed.
QString shownText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

QWidget *DialogPrompts::dialogOwner() const
{
    return m_openBox ? m_openBox.data() : m_owner;
}

int DialogPrompts::showModal(QDialog &box)
{
    box.setWindowModality(Qt::WindowModal);
    const QPointer<QWidget> outer = m_openBox;
    m_openBox = &box;
    const int answer = box.exec();
    m_openBox = outer;
    return answer;
}

// A box with details or actions is a ReportBox, which grows with its details; others are
// message boxes.
int DialogPrompts::showBox(int icon, const QString &text, int buttons, const QString &details, const Actions &actions)
{
    if (!details.isEmpty() || actions.saveList || actions.openFolder) {
        ReportBox box(dialogOwner(), QMessageBox::Icon(icon), shownText(text), details, actions);
        return showModal(box);
    }
    const auto standardButtons = QMessageBox::StandardButtons(buttons);
    QMessageBox box(QMessageBox::Icon(icon), applicationTitle(), shownText(text), standardButtons, dialogOwner());
    box.setDefaultButton(standardButtons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    return showModal(box);
}

bool DialogPrompts::askYesNo(const QString &question)
{
    return showBox(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, {}, {}) == QMessageBox::Yes;
}

void DialogPrompts::inform(const QString &text, Icon icon, const QString &details, const Actions &actions)
{
    showBox(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon, text, QMessageBox::Ok, details,
            actions);
}

void DialogPrompts::warn(const QString &text, const QString &details, const Actions &actions)
{
    showBox(QMessageBox::Warning, text, QMessageBox::Ok, details, actions);
}

QStringList DialogPrompts::pickFiles(const QString &filter, const QString &startFolder)
{
    return QFileDialog::getOpenFileNames(dialogOwner(), QString(), startFolder, filter);
}

QString DialogPrompts::pickFolder(const QString &prompt, const QString &startFolder, bool offerNewFolder)
{
    return BrowseForFolder(dialogOwner(), prompt, startFolder, offerNewFolder);
}

QString DialogPrompts::pickSaveFile(const QString &prompt, const QString &suggested)
{
    return QFileDialog::getSaveFileName(dialogOwner(), prompt, suggested, QStringLiteral("Text files (*.txt)"));
}

void DialogPrompts::showFolder(const QString &folder)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        warn(QStringLiteral("The folder %1 could not be shown: the desktop offers no program that opens folders.")
                 .arg(quotedPath(folder)));
}
