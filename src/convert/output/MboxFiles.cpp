#include "convert/output/MboxFiles.h"

#include "convert/MessageContent.h"
#include "convert/OutputPaths.h"
#include "convert/output/OutputFolders.h"
#include "convert/output/UpToDate.h"
#include "platform/AtomicWriter.h"
#include "platform/FileFacts.h"
#include "platform/InFlightFiles.h"

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
    const QString sender = !returnPath.isEmpty() ? addressIn(returnPath).value_or(QStringLiteral("MAILER-DAEMON"))
                                                 : addressIn(fromHeader).value_or(QStringLiteral("MAILER-DAEMON"));
    return "From " + sender.toUtf8() + ' ' + asctimeText(date).toLatin1() + '\n';
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
    return headers;
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
        m_held.append(data[i++]);
        qsizetype quotes = 0;
        while (quotes < m_held.size() && m_held[quotes] == '>')
            ++quotes;
        const QByteArrayView rest = QByteArrayView(m_held).sliced(quotes);
        if (rest.size() < from.size() && from.startsWith(rest))
            continue; // may still become "From "
        const bool quote = rest == from;
        if ((quote && !pass(">", 1)) || !pass(m_held.constData(), m_held.size()))
            return -1;
        m_atLineStart = !quote && m_held.endsWith('\n');
        m_held.clear();
    }
    return size;
}

bool MboxrdQuoting::finish()
{
    const bool passed = pass(m_held.constData(), m_held.size());
    m_held.clear();
    m_atLineStart = true;
    return passed;
}

MboxFile::MboxFile(QString target) : m_target(std::move(target)) {}

MboxFile::~MboxFile() = default;

QIODevice *MboxFile::beginMessage(const QByteArray &separatorLine, QString *error)
{
    if (!m_file) {
        m_file = std::make_unique<QTemporaryFile>(GetFolderPart(m_target) + temporaryFilePrefix +
                                                  QStringLiteral("XXXXXX") + temporaryFileSuffix);
        if (!m_file->open()) {
            *error = QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), m_file->errorString());
            m_file.reset();
            return nullptr;
        }
        m_inFlight = std::make_unique<InFlightFile>(*m_file);
        m_quoting = std::make_unique<MboxrdQuoting>(*m_file);
    }
    m_messageStart = m_file->pos();
    if (!writeAll(*m_file, separatorLine.constData(), separatorLine.size())) {
        *error = QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), m_file->errorString());
        dropMessage();
        return nullptr;
    }
    return m_quoting.get();
}

FileResult MboxFile::endMessage()
{
    // The message ends with a line break of its own, then the empty line that parts it from the next.
    const bool ended = m_quoting->finish() && (m_quoting->endedWithLineBreak() || writeAll(*m_file, "\n", 1)) &&
                       writeAll(*m_file, "\n", 1);
    if (!ended) {
        const QString reason = m_file->errorString();
        dropMessage();
        return FileResult::failure(NoteReason::CannotWrite,
                                   QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), reason));
    }
    return {};
}

void MboxFile::dropMessage()
{
    m_quoting->finish();
    m_file->resize(m_messageStart);
    m_file->seek(m_messageStart);
}

FileResult MboxFile::finish()
{
    if (!m_file)
        return {};
    const auto failed = [this](const QString &reason) {
        return FileResult::failure(NoteReason::CannotWrite,
                                   QStringLiteral("cannot put the mailbox %1 in place: %2").arg(quotedPath(m_target), reason));
    };
    if (!m_file->flush())
        return failed(m_file->errorString());
    // Qt may keep the handle until the object goes (on Windows, opened without delete sharing, a
    // file cannot be renamed while it is open): let it go before the rename.
    const QString temporary = m_file->fileName();
    m_file->setAutoRemove(false);
    m_quoting.reset();
    m_file.reset();
    std::error_code error;
    std::filesystem::rename(toFsPath(temporary), toFsPath(m_target), error);
    if (error)
        QFile::remove(temporary);
    m_inFlight.reset();
    return error ? failed(systemErrorText(error)) : FileResult{};
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
    if (m_context.options.update)
        takeInUpToDateMailboxes(messages, folders);
    QHash<QString, int> lastOfMailbox;
    for (qsizetype i = 0; i < messages.size(); ++i)
        lastOfMailbox[targetOf(folders[i])] = messages[i].index;
    for (auto it = lastOfMailbox.cbegin(); it != lastOfMailbox.cend(); ++it)
        m_endingAt[it.value()].append(it.key());
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
// that go to the destination itself. Where a mailbox of the run holds another, the inner one
// goes into a folder named after the outer with ".sbd" added ("Projects" and
// "Projects.sbd/Alpha"), as desktop clients keep their local folders, since one path cannot
// be a file and a folder at once.
QString MboxFiles::mboxPathOf(const QString &folder) const
{
    const QString &destination = m_context.destination.prefix();
    if (folder == destination)
        return destination + QStringLiteral("mbox");
    QString path = destination;
    QString outer = destination; // the same steps as folders of the run name them
    const QStringList steps = folder.mid(destination.size()).split(u'/', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < steps.size(); ++i) {
        outer += steps[i] + u'/';
        path += steps[i];
        if (i + 1 < steps.size())
            path += m_folders.contains(outer) ? QStringLiteral(".sbd/") : QStringLiteral("/");
    }
    return path;
}

// The file of the messages that go to the destination itself is "mbox": a mailbox of that name
// beside it would share it.
bool MboxFiles::reservesFolder(const QString &folder) const
{
    return folder.compare(QStringLiteral("mbox/"), Qt::CaseInsensitive) == 0;
}

// The file, which may not take the place of such a folder, and the folder it lies in.
QStringList MboxFiles::landingPlaces(const QString &folder) const
{
    const QString mbox = targetOf(folder);
    return {GetFolderPart(mbox), mbox};
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
    const FileResult made = m_context.folders.makeSure(GetFolderPart(message.target));
    if (!made.ok) {
        message.fail(made);
        return;
    }
    if (m_upToDate.contains(message.target)) {
        message.state = RunMessage::State::UpToDate;
        message.file.reset();
        return;
    }
    if (!m_context.options.dryRun && !m_open.count(message.target))
        m_open.emplace(message.target, std::make_unique<MboxFile>(message.target));
}

FileResult MboxFiles::write(RunMessage &message, MessageContent &content)
{
    m_context.folders.clearLeftoversBefore({GetFolderPart(message.target)});
    MboxFile &mailbox = *m_open.at(message.target);
    QString error;
    const QByteArray separator = mboxSeparatorLine(message.facts.returnPath, message.facts.from, message.facts.date);
    QIODevice *out = mailbox.beginMessage(separator, &error);
    if (!out)
        return FileResult::failure(NoteReason::CannotWrite, error);
    if (m_context.options.mboxStatus) {
        const QByteArray status = mboxStatusHeaders(message.facts.flags);
        writeAll(*out, status.constData(), status.size());
    }
    const FileResult written = content.writeTo(*out);
    if (!written.ok) {
        mailbox.dropMessage();
        return written;
    }
    return mailbox.endMessage();
}

// A mailbox takes its name once its last message in the list is through, unless a stop
// came before all of its messages were.
void MboxFiles::reported(const RunMessage &message, RunReport &report)
{
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
        m_open.erase(mailbox);
        if (!finished.ok) {
            report.takeBackOutputsOf(path);
            report.failures.append(MessageNote::about(path, finished.reason, finished.error));
        } else if (m_held.contains(path)) {
            m_record.keep(path, m_held.take(path));
        }
    }
}

// What a stopped run leaves unfinished is removed: no half mailbox, and its messages not reported written.
void MboxFiles::finish(RunReport &report)
{
    for (const auto &[path, mailbox] : m_open)
        report.takeBackOutputsOf(path);
    m_open.clear();
    const FileResult saved = m_record.save();
    if (!saved.ok)
        report.warnings.append(
            MessageNote::about(MailboxRecord::pathIn(m_context.destination.path()), saved.reason, saved.error));
}
