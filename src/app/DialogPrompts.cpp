#include "app/DialogPrompts.h"

#include "platform/FolderBrowser.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

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

int DialogPrompts::showBox(int icon, const QString &text, int buttons, const QString &details,
                           const SaveAction &saveList)
{
    const auto standardButtons = QMessageBox::StandardButtons(buttons);
    QMessageBox box(QMessageBox::Icon(icon), applicationTitle(), shownText(text), standardButtons, dialogOwner());
    box.setWindowModality(Qt::WindowModal);
    box.setDefaultButton(standardButtons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    if (!details.isEmpty()) {
        box.setDetailedText(details);
        // A long list reads better a line per file, scrolled sideways.
        for (QTextEdit *edit : box.findChildren<QTextEdit *>())
            edit->setLineWrapMode(QTextEdit::NoWrap);
    }
    if (saveList) {
        QPushButton *save = box.addButton(QStringLiteral("&Save List..."), QMessageBox::ActionRole);
        // Every button of a message box closes it; this one keeps it open for reading on.
        QObject::disconnect(save, &QAbstractButton::clicked, nullptr, nullptr);
        QObject::connect(save, &QAbstractButton::clicked, &box, [&saveList] { saveList(); });
    }
    const QPointer<QWidget> outer = m_openBox;
    m_openBox = &box;
    const int answer = box.exec();
    m_openBox = outer;
    return answer;
}

bool DialogPrompts::askYesNo(const QString &question)
{
    return showBox(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, {}, {}) == QMessageBox::Yes;
}

void DialogPrompts::inform(const QString &text, Icon icon, const QString &details, const SaveAction &saveList)
{
    showBox(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon, text, QMessageBox::Ok, details,
            saveList);
}

void DialogPrompts::warn(const QString &text, const QString &details, const SaveAction &saveList)
{
    showBox(QMessageBox::Warning, text, QMessageBox::Ok, details, saveList);
}

QStringList DialogPrompts::pickFiles(const QString &filter, const QString &startFolder)
{
    return QFileDialog::getOpenFileNames(dialogOwner(), QString(), startFolder, filter);
}

QString DialogPrompts::pickFolder(const QString &prompt, const QString &startFolder)
{
    return BrowseForFolder(dialogOwner(), prompt, startFolder);
}

QString DialogPrompts::pickSaveFile(const QString &prompt, const QString &suggested)
{
    return QFileDialog::getSaveFileName(dialogOwner(), prompt, suggested, QStringLiteral("Text files (*.txt)"));
}
