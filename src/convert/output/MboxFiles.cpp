#include "convert/output/MboxFiles.h"

#include "convert/MessageContent.h"
#include "convert/OutputPaths.h"
#include "convert/output/OutputFolders.h"
#include "convert/output/UpToDate.h"
#include "platform/AtomicWriter.h"
#include "platform/FileFacts.h"
#include "platform/InFlightFiles.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimeZone>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace {

std::optional<QString> addressIn(const QString &fromHeader)
{
    static const QRegularExpression bracketed(QStringLiteral("<([^<>\\s]+@[^<>\\s]+)>"));
    static const QRegularExpression bare(QStringLiteral("([^\\s<>\"(),;:]+@[^\\s<>\"(),;:]+)"));
    for (const QRegularExpression *pattern : {&bracketed, &bare}) {
        const QRegularExpressionMatch match = pattern->match(fromHeader);
        if (match.hasMatch())
            return match.captured(1);
    }
    return std::nullopt;
}

// Readers split the separator line at blanks and take it as ASCII, and some skip a line longer
// than they expect: only a printable ASCII address of at most a mail path's length is written.
bool isSeparatorAddress(const QString &address)
{
    constexpr qsizetype longestPath = 254;
    return address.size() <= longestPath && std::all_of(address.cbegin(), address.cend(), [](QChar c) {
               return c.unicode() > 0x20 && c.unicode() < 0x7f;
           });
}

// The C library's asctime() shape, "Sat Aug  6 10:00:00 2011", in UTC and English whatever the locale.
QString asctimeText(const QDateTime &date)
{
    const QDateTime utc = (date.isValid() ? date : QDateTime::fromSecsSinceEpoch(0)).toTimeZone(QTimeZone::utc());
    const QLocale c = QLocale::c();
    return c.toString(utc, QStringLiteral("ddd MMM ")) + QStringLiteral("%1").arg(utc.date().day(), 2) +
           c.toString(utc, QStringLiteral(" hh:mm:ss yyyy"));
}

} // namespace

QByteArray mboxSeparatorLine(const QString &returnPath, const QString &fromHeader, const QDateTime &date)
{
    // A Return-Path that is there but empty ("<>") is a bounce's: it has no sender to name.
    const std::optional<QString> address = addressIn(!returnPath.isEmpty() ? returnPath : fromHeader);
    const QString sender = address && isSeparatorAddress(*address) ? *address : QStringLiteral("MAILER-DAEMON");
    return "From " + sender.toLatin1() + ' ' + asctimeText(date).toLatin1() + '\n';
}

QByteArray mboxStatusHeaders(quint64 flags)
{
    QByteArray headers = (flags & MessageFlag::Read) ? "Status: RO\n" : "Status: O\n";
    QByteArray extra;
    if (flags & MessageFlag::Answered)
        extra += 'A';
    if (flags & MessageFlag::Deleted)
        extra += 'D';
    if (flags & MessageFlag::Flagged)
        extra += 'F';
    if (flags & MessageFlag::Draft)
        extra += 'T';
    if (!extra.isEmpty())
        headers += "X-Status: " + extra + '\n';
    unsigned desktop = 0;
    if (flags & MessageFlag::Read)
        desktop |= 0x0001;
    if (flags & MessageFlag::Answered)
        desktop |= 0x0002;
    if (flags & MessageFlag::Flagged)
        desktop |= 0x0004;
    if (flags & MessageFlag::Forwarded)
        desktop |= 0x1000;
    headers += "X-Mozilla-Status: " + QByteArray::number(desktop, 16).rightJustified(4, '0') + '\n';
    headers += "X-Mozilla-Status2: 00000000\n";
    return headers;
}

StatusFieldsLeftOut::StatusFieldsLeftOut(QIODevice &out) : m_out(out)
{
    open(QIODevice::WriteOnly);
}

bool StatusFieldsLeftOut::pass(const char *data, qint64 size)
{
    if (size <= 0 || writeAll(m_out, data, size))
        return true;
    setErrorString(m_out.errorString());
    return false;
}

// Decides, once a line's name is through (or cannot be a status field's), whether the field is
// left out, and passes on what was held unless it is. An empty line ends the header block.
bool StatusFieldsLeftOut::decideField()
{
    static const QList<QByteArray> statusNames{"status", "x-status", "x-mozilla-status", "x-mozilla-status2"};
    const bool emptyLine = m_held == "\n" || m_held == "\r\n";
    m_leavingOut = m_held.endsWith(':') && statusNames.contains(m_held.chopped(1).trimmed().toLower());
    m_inHeader = !emptyLine;
    m_atLineStart = m_held.endsWith('\n');
    const bool passed = m_leavingOut || pass(m_held.constData(), m_held.size());
    m_held.clear();
    return passed;
}

qint64 StatusFieldsLeftOut::writeData(const char *data, qint64 size)
{
    constexpr qsizetype longestName = 20; // "X-Mozilla-Status2:" and some room for blanks
    qint64 i = 0;
    while (i < size) {
        if (!m_inHeader)
            return pass(data + i, size - i) ? size : -1;
        if (!m_atLineStart) {
            const void *lineBreak = std::memchr(data + i, '\n', size_t(size - i));
            const qint64 end = lineBreak ? static_cast<const char *>(lineBreak) - data + 1 : size;
            if (!m_leavingOut && !pass(data + i, end - i))
                return -1;
            i = end;
            m_atLineStart = lineBreak != nullptr;
            continue;
        }
        const char c = data[i];
        if (m_held.isEmpty() && (c == ' ' || c == '\t')) {
            m_atLineStart = false; // a continuation line goes with its field
            continue;
        }
        m_held.append(c);
        ++i;
        if ((c == ':' || c == '\n' || m_held.size() > longestName) && !decideField())
            return -1;
    }
    return size;
}

bool StatusFieldsLeftOut::finish()
{
    const bool passed = pass(m_held.constData(), m_held.size());
    m_held.clear();
    return passed;
}

MboxrdQuoting::MboxrdQuoting(QIODevice &out) : m_out(out)
{
    open(QIODevice::WriteOnly);
}

bool MboxrdQuoting::pass(const char *data, qint64 size)
{
    if (size <= 0)
        return true;
    m_lastByte = data[size - 1];
    if (writeAll(m_out, data, size))
        return true;
    setErrorString(m_out.errorString());
    return false;
}

// At a line's start, '>'s are passed on as they come and at most "From" is held back: the one
// '>' that quoting adds may as well go right before "From " as before the first '>', so any line
// of any length takes one pass and no memory.
qint64 MboxrdQuoting::writeData(const char *data, qint64 size)
{
    static constexpr QByteArrayView from("From ");
    qint64 i = 0;
    while (i < size) {
        if (!m_atLineStart) {
            const void *lineBreak = std::memchr(data + i, '\n', size_t(size - i));
            const qint64 end = lineBreak ? static_cast<const char *>(lineBreak) - data + 1 : size;
            if (!pass(data + i, end - i))
                return -1;
            i = end;
            m_atLineStart = lineBreak != nullptr;
            continue;
        }
        if (m_fromMatched == 0 && data[i] == '>') {
            qint64 end = i;
            while (end < size && data[end] == '>')
                ++end;
            if (!pass(data + i, end - i))
                return -1;
            i = end;
            continue;
        }
        if (data[i] == from[m_fromMatched]) {
            ++i;
            if (++m_fromMatched < from.size())
                continue;
            m_fromMatched = 0;
            m_atLineStart = false;
            if (!pass(">From ", 6))
                return -1;
            continue;
        }
        // Not a "From " line: what was held goes on, and the byte goes the usual way.
        if (!pass(from.data(), m_fromMatched))
            return -1;
        m_fromMatched = 0;
        m_atLineStart = false;
    }
    return size;
}

bool MboxrdQuoting::finish()
{
    const bool passed = pass("From ", m_fromMatched);
    m_fromMatched = 0;
    m_atLineStart = true;
    return passed;
}

void MboxrdQuoting::forget()
{
    m_fromMatched = 0;
    m_atLineStart = true;
    m_lastByte = '\n';
}

// Where a mailbox's bytes gather before they are written in pieces of this size.
class MboxPending : public QIODevice
{
public:
    static constexpr qsizetype pieceSize = 256 << 10;
    explicit MboxPending(MboxFile &file) : m_file(file) { open(QIODevice::WriteOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_file.m_pending.append(data, size);
        if (m_file.m_pending.size() >= pieceSize && !m_file.writePending()) {
            setErrorString(m_file.m_failure);
            return -1;
        }
        return size;
    }

private:
    MboxFile &m_file;
};

namespace {

// A temporary file written straight to the system, so that a failed write leaves nothing
// buffered behind to come out later.
class UnbufferedTemporaryFile : public QTemporaryFile
{
public:
    using QTemporaryFile::QTemporaryFile;
    bool openUnbuffered() { return open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
};

} // namespace

MboxFile::MboxFile(QString target)
    : m_target(std::move(target)), m_gathering(std::make_unique<MboxPending>(*this)),
      m_quoting(std::make_unique<MboxrdQuoting>(*m_gathering))
{}

MboxFile::~MboxFile()
{
    m_file.reset();
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

QString MboxFile::writeError() const
{
    return QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), m_failure);
}

// Makes the temporary file, or takes the one made before again.
bool MboxFile::openFile(QString *error)
{
    if (!m_temporary.isEmpty()) {
        auto file = std::make_unique<QFile>();
        if (!reopenOwnFile(*file, m_temporary, m_identity, &m_failure)) {
            giveUp(m_failure);
            *error = writeError();
            return false;
        }
        m_file = std::move(file);
        return true;
    }
    auto file = std::make_unique<UnbufferedTemporaryFile>(GetFolderPart(m_target) + temporaryFilePrefix +
                                                          QStringLiteral("XXXXXX") + temporaryFileSuffix);
    if (!file->openUnbuffered()) {
        m_failure = file->errorString();
        *error = writeError();
        return false;
    }
    file->setAutoRemove(false);
    m_temporary = file->fileName();
    m_identity = identityOf(*file);
    m_inFlight = std::make_unique<InFlightFile>(m_temporary);
    m_file = std::move(file);
    return true;
}

bool MboxFile::writePending()
{
    qint64 done = 0;
    while (done < m_pending.size()) {
        const qint64 written = m_file->write(m_pending.constData() + done, m_pending.size() - done);
        if (written <= 0) {
            m_failure = m_file->errorString();
            break;
        }
        done += written;
    }
    m_pending.remove(0, done);
    m_written += done;
    return m_pending.isEmpty();
}

void MboxFile::giveUp(const QString &reason)
{
    m_damage = reason;
    m_file.reset();
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
    m_temporary.clear();
    m_inFlight.reset();
    m_pending.clear();
}

QIODevice *MboxFile::beginMessage(const QByteArray &separatorLine, QString *error)
{
    if (!m_damage.isEmpty()) {
        *error = QStringLiteral("the mailbox %1 was given up: %2").arg(quotedPath(m_target), m_damage);
        return nullptr;
    }
    if (!m_file && !openFile(error))
        return nullptr;
    if (!writeAll(*m_gathering, separatorLine.constData(), separatorLine.size())) {
        *error = writeError();
        dropMessage();
        return nullptr;
    }
    return m_quoting.get();
}

FileResult MboxFile::endMessage()
{
    // The message ends with a line break of its own, then the empty line that parts it from the next.
    const bool ended = m_quoting->finish() && (m_quoting->endedWithLineBreak() || writeAll(*m_gathering, "\n", 1)) &&
                       writeAll(*m_gathering, "\n", 1);
    if (!ended) {
        const QString error = writeError();
        dropMessage();
        return FileResult::failure(NoteReason::CannotWrite, error);
    }
    m_complete = m_written + m_pending.size();
    return {};
}

// Cuts off what was written of the message under way: from what is gathered, or from the file.
void MboxFile::dropMessage()
{
    m_quoting->forget();
    if (m_complete >= m_written) {
        m_pending.truncate(m_complete - m_written);
        return;
    }
    m_pending.clear();
    if (m_file && m_file->resize(m_complete) && m_file->size() == m_complete) {
        if (!(m_file->openMode() & QIODevice::Append))
            m_file->seek(m_complete);
        m_written = m_complete;
        return;
    }
    giveUp(QStringLiteral("it could not be cut back to the end of its last complete message (%1)")
               .arg(m_file ? m_file->errorString() : m_failure));
}

void MboxFile::release()
{
    if (!m_file)
        return;
    if (!writePending()) {
        giveUp(m_failure);
        return;
    }
    m_file.reset();
}

FileResult MboxFile::finish()
{
    const auto failed = [this](const QString &reason) {
        return FileResult::failure(
            NoteReason::CannotWrite,
            QStringLiteral("cannot put the mailbox %1 in place: %2").arg(quotedPath(m_target), reason));
    };
    if (!m_damage.isEmpty())
        return failed(m_damage);
    if (m_temporary.isEmpty())
        return {};
    QString error;
    if (!m_pending.isEmpty() && ((!m_file && !openFile(&error)) || !writePending())) {
        giveUp(m_failure);
        return failed(m_damage);
    }
    // On Windows, opened without delete sharing, a file cannot be renamed while it is open.
    m_file.reset();
    std::error_code renamed;
    std::filesystem::rename(toFsPath(m_temporary), toFsPath(m_target), renamed);
    if (renamed) {
        giveUp(systemErrorText(renamed));
        return failed(m_damage);
    }
    m_temporary.clear();
    m_inFlight.reset();
    return {};
}

MboxFiles::MboxFiles(const OutputContext &context) : m_context(context) {}

MboxFiles::~MboxFiles() = default;

std::unique_ptr<MessageOutput> MboxFiles::make(const OutputContext &context)
{
    return std::make_unique<MboxFiles>(context);
}

// What the run needs to know of its mailboxes before the first message: which folders are
// mailboxes (for the .sbd rule), and after which message each mailbox is complete.
void MboxFiles::takeIn(const QList<ListedMessage> &messages)
{
    QStringList folders;
    for (const ListedMessage &message : messages)
        folders << m_context.paths.folderFor(message.absolute).path;
    m_folders = QSet<QString>(folders.cbegin(), folders.cend());
    countSpellingsOfInboxes(m_folders);
    if (m_context.options.update)
        takeInUpToDateMailboxes(messages, folders);
    QHash<QString, int> lastOfMailbox;
    for (qsizetype i = 0; i < messages.size(); ++i)
        lastOfMailbox[targetOf(folders[i])] = messages[i].index;
    for (auto it = lastOfMailbox.cbegin(); it != lastOfMailbox.cend(); ++it)
        m_endingAt[it.value()].append(it.key());
}

// How many mailboxes of the run spell each "inbox" folder, in any letters: the store's INBOX is
// written as "Inbox" only where it is the one.
void MboxFiles::countSpellingsOfInboxes(const QSet<QString> &folders)
{
    const QString &destination = m_context.destination.prefix();
    QSet<QString> inboxes;
    for (const QString &folder : folders) {
        QString outer = destination;
        for (const QString &step : folder.mid(destination.size()).split(u'/', Qt::SkipEmptyParts)) {
            outer += step;
            if (step.compare(QLatin1String("inbox"), Qt::CaseInsensitive) == 0)
                inboxes.insert(outer);
            outer += u'/';
        }
    }
    for (const QString &inbox : std::as_const(inboxes))
        ++m_inboxBeside[inbox.toLower()];
}

// With --update, a mailbox file that holds, as the record says, exactly the sources that this
// run would write into it, each with its size and time unchanged, is left as it is, and its
// messages count as up to date. A mailbox whose set of sources differs in any way (a message
// that failed before, one moved in from another mailbox, one more source tree) is written again.
void MboxFiles::takeInUpToDateMailboxes(const QList<ListedMessage> &messages, const QStringList &folders)
{
    m_record.load(m_context.destination.prefix());
    QHash<QString, QList<MailboxRecord::Source>> sources; // mbox path -> what this run writes into it
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const FileFacts source = factsOf(messages[i].absolute, Links::Followed);
        sources[mboxPathOf(folders[i])].append(MailboxRecord::sourceOf(messages[i].absolute, source.size, source.stamp));
    }
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        std::sort(it->begin(), it->end());
        it->erase(std::unique(it->begin(), it->end()), it->end()); // a repeated source is written once
    }
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        QString mailbox = it.key();
        for (int n = 2; holdsOtherSources(mailbox, *it) || (n > 2 && sources.contains(mailbox)); ++n)
            mailbox = it.key() + QStringLiteral(" (%1)").arg(n);
        if (mailbox != it.key())
            m_instead.insert(it.key(), mailbox);
        if (m_record.holds(mailbox, *it))
            m_upToDate.insert(mailbox);
    }
}

// Whether the mailbox file holds, as recorded, a message of a source that is still there but
// that this run would not write into it (one from another source tree, or one left out of this
// run's list): writing the file again would lose that message. A source that is gone (moved to
// another mailbox, deleted in the mail client) does not count.
bool MboxFiles::holdsOtherSources(const QString &mailbox, const QList<MailboxRecord::Source> &sources) const
{
    const MailboxRecord::Mailbox *recorded = m_record.find(mailbox);
    if (!recorded || !factsOf(mailbox, Links::NotFollowed).regularFile)
        return false;
    for (const MailboxRecord::Source &source : recorded->sources)
        if (!std::binary_search(sources.cbegin(), sources.cend(), source,
                                [](const auto &a, const auto &b) { return a.path < b.path; }) &&
            factsOf(source.path, Links::Followed).regularFile)
            return true;
    return false;
}

// The mbox file of a mailbox folder: the folder's own path as a file; "mbox" for messages
// that go to the destination itself. A mailbox that holds others keeps them in a folder named
// after it with ".sbd" added ("Projects" and "Projects.sbd/Alpha"), as desktop clients keep their
// local folders, and is a mailbox file too, empty where it has no messages of its own: those
// clients hide a plain folder with everything below it. Under the mailboxes layout every folder
// is a mailbox (an account's folder too); a mirrored path holds the source's own folders, and
// only those that hold messages of the run are mailboxes. The store's inbox is "Inbox", the name
// the clients give their own, unless another mailbox beside it takes that name in other letters.
QString MboxFiles::mboxPathOf(const QString &folder) const
{
    const QString &destination = m_context.destination.prefix();
    if (folder == destination)
        return destination + QStringLiteral("mbox");
    QString path = destination;
    QString outer = destination; // the same steps as folders of the run name them
    const QStringList steps = folder.mid(destination.size()).split(u'/', Qt::SkipEmptyParts);
    const bool everyFolderIsAMailbox = m_context.options.layout == OutputLayout::Mailboxes;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const bool inbox =
            steps[i] == QLatin1String("INBOX") && m_inboxBeside.value((outer + QLatin1String("inbox")).toLower()) == 1;
        outer += steps[i] + u'/';
        path += inbox ? QStringLiteral("Inbox") : steps[i];
        if (i + 1 < steps.size())
            path += everyFolderIsAMailbox || m_folders.contains(outer) ? QStringLiteral(".sbd/") : QStringLiteral("/");
    }
    return path;
}

// The mailbox files that hold the mailbox of `mbox` ("A" and "A.sbd/B" for "A.sbd/B.sbd/C").
QStringList MboxFiles::parentsOf(const QString &mbox) const
{
    QStringList parents;
    const QString &destination = m_context.destination.prefix();
    for (qsizetype at = mbox.indexOf(QStringLiteral(".sbd/"), destination.size()); at >= 0;
         at = mbox.indexOf(QStringLiteral(".sbd/"), at + 1))
        parents << mbox.left(at);
    return parents;
}

// The file of the messages that go to the destination itself is "mbox": a mailbox of that name
// beside it would share it.
bool MboxFiles::reservesFolder(const QString &folder) const
{
    return folder.compare(QStringLiteral("mbox/"), Qt::CaseInsensitive) == 0;
}

// The file, which may not take the place of such a folder, the folder it lies in, and the
// mailbox files that hold it.
QStringList MboxFiles::landingPlaces(const QString &folder) const
{
    const QString mbox = targetOf(folder);
    return QStringList{GetFolderPart(mbox), mbox} + parentsOf(mbox);
}

// A mailbox that holds the message's one gets its file, empty, where it has none yet.
FileResult MboxFiles::makeSureOfParents(const QString &mbox)
{
    for (const QString &parent : parentsOf(mbox)) {
        if (m_parentsMade.contains(parent))
            continue;
        QFile file;
        QString error;
        if (!openRegularFileForWriting(file, parent, WriteMode::Append, &error))
            return FileResult::failure(NoteReason::CannotWrite, error);
        m_parentsMade.insert(parent);
    }
    return {};
}

// The mbox file that the messages of a folder go into: the folder's, or the numbered one that
// takes their place where that file holds messages of sources this run does not write into it.
QString MboxFiles::targetOf(const QString &folder) const
{
    const QString mailbox = mboxPathOf(folder);
    return m_instead.isEmpty() ? mailbox : m_instead.value(mailbox, mailbox);
}

void MboxFiles::place(RunMessage &message)
{
    const QString mailbox = mboxPathOf(message.folder);
    message.target = targetOf(message.folder);
    if (message.target != mailbox)
        message.warn(NoteReason::FoldersMeet,
                     QStringLiteral("the mailbox %1 holds messages of sources that this run does not list; "
                                    "this run's messages of it go into %2 instead")
                         .arg(quotedPath(mailbox), quotedPath(message.target)));
    FileResult made = m_context.folders.makeSure(GetFolderPart(message.target));
    if (made.ok && !m_context.options.dryRun)
        made = makeSureOfParents(message.target);
    if (!made.ok) {
        message.fail(made);
        return;
    }
    if (m_upToDate.contains(message.target)) {
        message.state = RunMessage::State::UpToDate;
        message.file.reset();
        return;
    }
    if (const FileResult givenUp = givenUpFailure(message.target); !givenUp.ok) {
        message.fail(givenUp);
        return;
    }
    if (!m_context.options.dryRun && !m_open.count(message.target))
        m_open.emplace(message.target, std::make_unique<MboxFile>(message.target));
}

// Only a few mailbox files hold a handle at once: the one that held it longest lets it go.
void MboxFiles::holdHandleFor(const QString &mbox)
{
    m_holding.removeOne(mbox);
    while (m_holding.size() >= openMailboxesLimit) {
        const QString released = m_holding.takeFirst();
        MboxFile &mailbox = *m_open.at(released);
        mailbox.release();
        noteIfGivenUp(mailbox);
    }
    m_holding.append(mbox);
}

// A damaged mailbox is given up: its file is gone, its messages are failures.
void MboxFiles::noteIfGivenUp(const MboxFile &mailbox)
{
    if (mailbox.damage().isEmpty())
        return;
    m_givenUp.insert(mailbox.target(), mailbox.damage());
    m_toFail.append(mailbox.target());
    m_holding.removeOne(mailbox.target());
    m_open.erase(mailbox.target());
}

// The failure of a message whose mailbox was given up, in this batch or before.
FileResult MboxFiles::givenUpFailure(const QString &mbox) const
{
    const auto givenUp = m_givenUp.constFind(mbox);
    if (givenUp == m_givenUp.cend())
        return {};
    return FileResult::failure(NoteReason::CannotWrite,
                               QStringLiteral("the mailbox %1 was given up: %2").arg(quotedPath(mbox), *givenUp));
}

FileResult MboxFiles::write(RunMessage &message, MessageContent &content)
{
    if (const FileResult givenUp = givenUpFailure(message.target); !givenUp.ok)
        return givenUp;
    m_context.folders.clearLeftoversBefore({GetFolderPart(message.target)});
    holdHandleFor(message.target);
    MboxFile &mailbox = *m_open.at(message.target);
    const FileResult written = writeInto(mailbox, message, content);
    noteIfGivenUp(mailbox);
    return written;
}

FileResult MboxFiles::writeInto(MboxFile &mailbox, const RunMessage &message, MessageContent &content) const
{
    QString error;
    const QByteArray separator =
        mboxSeparatorLine(message.facts.returnPath, message.facts.from, message.facts.received);
    QIODevice *out = mailbox.beginMessage(separator, &error);
    if (!out)
        return FileResult::failure(NoteReason::CannotWrite, error);
    FileResult written;
    if (m_context.options.mboxStatus) {
        const QByteArray status = mboxStatusHeaders(message.facts.flags);
        StatusFieldsLeftOut withoutOwnStatus(*out);
        written = writeAll(*out, status.constData(), status.size())
                      ? content.writeTo(withoutOwnStatus)
                      : FileResult::failure(NoteReason::CannotWrite, out->errorString());
        if (written.ok && !withoutOwnStatus.finish())
            written = FileResult::failure(NoteReason::CannotWrite, withoutOwnStatus.errorString());
    } else {
        written = content.writeTo(*out);
    }
    if (!written.ok) {
        mailbox.dropMessage();
        return written;
    }
    return mailbox.endMessage();
}

// Every message reported written to a mailbox that is not put in place becomes a failure of its own.
void MboxFiles::failOutputsOf(const QString &mbox, RunReport &report) const
{
    const QString reason = m_givenUp.value(mbox);
    for (const PlannedOutput &output : std::as_const(report.outputs))
        if (output.target == mbox)
            report.failures.append(MessageNote::about(
                output.source, NoteReason::CannotWrite,
                QStringLiteral("its mailbox %1 was not put in place: %2").arg(quotedPath(mbox), reason)));
    report.takeBackOutputsOf(mbox);
}

// A mailbox takes its name once its last message in the list is through, unless a stop
// came before all of its messages were.
void MboxFiles::reported(const RunMessage &message, RunReport &report)
{
    if (message.state == RunMessage::State::Written && m_givenUp.contains(message.target))
        m_toFail.append(message.target);
    for (const QString &mbox : std::exchange(m_toFail, {}))
        failOutputsOf(mbox, report);
    if (message.state == RunMessage::State::Pending || (report.stopped && message.state != RunMessage::State::Written))
        return;
    if (m_context.options.update && message.state == RunMessage::State::Written)
        m_held[message.target].append(MailboxRecord::sourceOf(
            message.absolute, message.envelope.fileSize,
            message.sourceStamp.known ? message.sourceStamp : sourceStampOf(message.absolute)));
    for (const QString &path : m_endingAt.value(message.index)) {
        const auto mailbox = m_open.find(path);
        if (mailbox == m_open.end())
            continue;
        const FileResult finished = mailbox->second->finish();
        m_holding.removeOne(path);
        m_open.erase(mailbox);
        if (!finished.ok) {
            m_givenUp.insert(path, finished.error);
            m_held.remove(path);
            failOutputsOf(path, report);
        } else if (m_held.contains(path) && !m_givenUp.contains(path)) {
            m_record.keep(path, m_held.take(path));
        }
    }
}

// What a stopped run leaves unfinished is removed: no half mailbox, and its messages not reported written.
void MboxFiles::finish(RunReport &report)
{
    for (const QString &mbox : std::exchange(m_toFail, {}))
        failOutputsOf(mbox, report);
    for (const auto &[path, mailbox] : m_open)
        report.takeBackOutputsOf(path);
    m_open.clear();
    m_holding.clear();
    const FileResult saved = m_record.save();
    if (!saved.ok)
        report.warnings.append(
            MessageNote::about(MailboxRecord::pathIn(m_context.destination.path()), saved.reason, saved.error));
}
