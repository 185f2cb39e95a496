#include "convert/output/MaildirFolders.h"

#include "convert/MessageContent.h"
#include "convert/output/OutputFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <filesystem>
#include <system_error>

QString maildirFlagLetters(quint64 flags)
{
    QString letters;
    const std::pair<quint64, char> inOrder[] = {{MessageFlag::Draft, 'D'},
                                                {MessageFlag::Flagged, 'F'},
                                                {MessageFlag::Answered, 'R'},
                                                {MessageFlag::Read, 'S'},
                                                {MessageFlag::Deleted, 'T'}};
    for (const auto &[bit, letter] : inOrder)
        if (flags & bit)
            letters += QLatin1Char(letter);
    return letters;
}

QString maildirUniqueName(const QString &absoluteSource)
{
    const QByteArray hash = QCryptographicHash::hash(absoluteSource.toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(hash.toHex().left(24));
}

namespace {

// A Maildir file name without its info part ("<unique>:2,FS" -> "<unique>").
QString uniqueOf(const QString &path)
{
    return GetFileNamePart(path).section(u':', 0, 0);
}

QStringList maildirFoldersOf(const QString &folder)
{
    return {folder + QStringLiteral("cur/"), folder + QStringLiteral("new/"), folder + QStringLiteral("tmp/")};
}

} // namespace

MaildirFolders::MaildirFolders(const OutputContext &context) : m_context(context) {}

std::unique_ptr<MessageOutput> MaildirFolders::make(const OutputContext &context)
{
    return std::make_unique<MaildirFolders>(context);
}

// The Maildir's own folder gets its three.
QStringList MaildirFolders::landingPlaces(const QString &folder) const
{
    return QStringList{folder} + maildirFoldersOf(folder);
}

void MaildirFolders::place(RunMessage &message)
{
    const QStringList folders = maildirFoldersOf(message.folder);
    message.target = folders.first() + maildirUniqueName(message.absolute) + QStringLiteral(":2,") +
                     maildirFlagLetters(message.facts.flags);
    for (const QString &folder : folders) {
        OutputFolders::State state = OutputFolders::State::Known;
        const FileResult made = m_context.folders.makeSure(folder, &state);
        if (!made.ok) {
            message.fail(made);
            return;
        }
        if (state == OutputFolders::State::Found && folder == folders.first())
            takeInEarlierFiles(folder);
    }
}

// The files an earlier run left in a Maildir's cur/, by unique name.
void MaildirFolders::takeInEarlierFiles(const QString &cur)
{
    for (const QString &name : QDir(cur).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name.contains(u':'))
            m_earlier.insert(cur + uniqueOf(name), cur + name);
}

QString MaildirFolders::earlierFileOf(const QString &target) const
{
    return m_earlier.value(GetFolderPart(target) + uniqueOf(target));
}

bool MaildirFolders::upToDate(const RunMessage &message) const
{
    return earlierFileOf(message.target) == message.target;
}

// Written complete into tmp/, given the received date, then moved into cur/.
FileResult MaildirFolders::write(RunMessage &message, MessageContent &content)
{
    m_context.folders.clearLeftoversBefore(maildirFoldersOf(message.folder));
    const QString temporary = message.folder + QStringLiteral("tmp/") + maildirUniqueName(message.absolute);
    const FileResult written = content.writeToFile(temporary, message.facts.received, m_context.destination.path());
    if (!written.ok)
        return written;
    std::error_code error;
    std::filesystem::rename(toFsPath(temporary), toFsPath(message.target), error);
    if (!error) {
        const QString earlier = earlierFileOf(message.target);
        if (!earlier.isEmpty() && earlier != message.target)
            QFile::remove(earlier);
        return {};
    }
    QFile::remove(temporary);
    return FileResult::failure(NoteReason::CannotWrite, QStringLiteral("cannot move %1 into %2: %3")
                                                            .arg(quotedPath(temporary), quotedPath(message.target),
                                                                 systemErrorText(error)));
}
