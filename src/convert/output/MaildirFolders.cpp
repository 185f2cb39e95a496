#include "convert/output/MaildirFolders.h"

#include "convert/MessageContent.h"
#include "convert/OutputFolder.h"
#include "convert/PartialMessage.h"
#include "convert/output/OutputFolders.h"
#include "platform/FileFacts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

QString maildirFlagLetters(quint64 flags)
{
    QString letters;
    const std::pair<quint64, char> inOrder[] = {{MessageFlag::Draft, 'D'},    {MessageFlag::Flagged, 'F'},
                                                {MessageFlag::Forwarded, 'P'}, {MessageFlag::Answered, 'R'},
                                                {MessageFlag::Read, 'S'},      {MessageFlag::Deleted, 'T'}};
    for (const auto &[bit, letter] : inOrder)
        if (flags & bit)
            letters += QLatin1Char(letter);
    return letters;
}

QString maildirUniqueName(const QString &storePlace)
{
    const QByteArray hash = QCryptographicHash::hash(storePlace.toUtf8(), QCryptographicHash::Sha1);
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

// Every Maildir file name holds a ':'; a file system that takes none is told of once.
FileResult MaildirFolders::checkDestination()
{
    return acceptsNamesWith(m_context.destination.path(), u':', QStringLiteral("Maildir file names"));
}

// A mailbox named "cur", "new" or "tmp" would lie inside its parent's Maildir.
bool MaildirFolders::reservesFolder(const QString &folder) const
{
    const QString name = GetFileNamePart(folder.chopped(1)).toCaseFolded();
    return name == u"cur" || name == u"new" || name == u"tmp";
}

// The Maildir's own folder gets its three.
QStringList MaildirFolders::landingPlaces(const QString &folder) const
{
    return QStringList{folder} + maildirFoldersOf(folder);
}

// The unique name comes from the message's place in the store; where another source of the
// run has that place already (a second copy of a store), from its whole path.
void MaildirFolders::place(RunMessage &message)
{
    const QStringList folders = maildirFoldersOf(message.folder);
    QString unique = maildirUniqueName(storePlaceOf(message.absolute));
    if (m_claimed.contains(message.folder + unique))
        unique = maildirUniqueName(message.absolute);
    m_claimed.insert(message.folder + unique);
    message.target = folders.first() + unique + QStringLiteral(":2,") + maildirFlagLetters(message.facts.flags);
    for (const QString &folder : folders) {
        OutputFolders::State state = OutputFolders::State::Known;
        const FileResult made = m_context.folders.makeSure(folder, &state);
        if (!made.ok) {
            message.fail(made);
            return;
        }
        if (state == OutputFolders::State::Found && folder != folders.last())
            takeInEarlierFiles(folder);
    }
}

// The files an earlier run (or a mail program since) left in a Maildir's cur/ or new/, by
// unique name. Only their names are read.
void MaildirFolders::takeInEarlierFiles(const QString &folder)
{
    const QString maildir = GetFolderPart(folder.chopped(1));
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (!name.startsWith(u'.'))
            m_earlier.insert(maildir + uniqueOf(name), folder + name);
}

QString MaildirFolders::earlierFileOf(const RunMessage &message) const
{
    return m_earlier.value(message.folder + uniqueOf(message.target));
}

// A regular file of the message's size under its unique name, whatever its flags. A partial
// message's size is known only once it is put back: it is written again.
bool MaildirFolders::upToDate(const RunMessage &message) const
{
    const QString earlier = earlierFileOf(message);
    if (earlier.isEmpty() || isPartialMessageFile(message.source))
        return false;
    const FileFacts facts = factsOf(earlier, Links::NotFollowed);
    return facts.regularFile && facts.size == message.envelope.messageLength;
}

// Written whole under a temporary name and renamed into cur/ (the atomic writer), with the
// received date; an earlier file of the message's unique name under other flags then goes.
FileResult MaildirFolders::write(RunMessage &message, MessageContent &content)
{
    m_context.folders.clearLeftoversBefore(maildirFoldersOf(message.folder));
    const FileResult written = content.writeToFile(message.target, message.facts.received, m_context.destination.path());
    if (!written.ok)
        return written;
    const QString earlier = earlierFileOf(message);
    if (!earlier.isEmpty() && earlier != message.target)
        QFile::remove(earlier);
    return {};
}
