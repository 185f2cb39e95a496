#include "DialogPrompts.h"

#include "FolderBrowser.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

// The texts keep Windows line breaks; a Qt label shows a plain line feed.
QString shownText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

int showBox(QWidget *owner, QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
            const QString &details)
{
    QMessageBox box(icon, applicationTitle(), shownText(text), buttons, owner);
    box.setWindowModality(Qt::WindowModal);
    if (buttons.testFlag(QMessageBox::Yes))
        box.setDefaultButton(QMessageBox::Yes);
    if (!details.isEmpty())
        box.setDetailedText(details);
    return box.exec();
}

} // namespace

bool DialogPrompts::askYesNo(const QString &question)
{
    return showBox(m_owner, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, {}) ==
           QMessageBox::Yes;
}

void DialogPrompts::inform(const QString &text, Icon icon, const QString &details)
{
    showBox(m_owner, icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon, text, QMessageBox::Ok,
            details);
}

void DialogPrompts::warn(const QString &text, const QString &details)
{
    showBox(m_owner, QMessageBox::Warning, text, QMessageBox::Ok, details);
}

QStringList DialogPrompts::pickFiles(const QString &filter)
{
    return QFileDialog::getOpenFileNames(m_owner, QString(), QString(), filter);
}

QString DialogPrompts::pickFolder(const QString &prompt)
{
    return BrowseForFolder(m_owner, prompt);
}
