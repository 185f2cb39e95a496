#pragma once

#include "convert/output/MailboxRecord.h"
#include "convert/output/MessageOutput.h"
#include "platform/RegularFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QString>

#include <map>
#include <memory>

class QTemporaryFile;
class InFlightFile;

// "From sender@example.com Sat Aug  6 10:00:00 2011\n": the envelope sender's address from the
// Return-Path ("<bounce@example.com>"), else from the From header ("Ann <ann@example.com>"),
// MAILER-DAEMON when neither holds a printable ASCII one of at most 254 characters (a null
// Return-Path "<>" included); the date (the message's received date) in UTC.
QByteArray mboxSeparatorLine(const QString &returnPath, const QString &fromHeader, const QDateTime &date);
// "Status: RO\n" and, when the message was answered, flagged, deleted or a draft, an
// "X-Status: " line with A, F, D, T; then the desktop client's own "X-Mozilla-Status: " (read
// 0001, replied 0002, flagged 0004, forwarded 1000, in hex; never its expunged bit 0008, which
// its next compaction would act on) and "X-Mozilla-Status2: 00000000".
QByteArray mboxStatusHeaders(quint64 flags);

// Passes a message on to `out` without the status fields of its header block (Status, X-Status,
// X-Mozilla-Status, X-Mozilla-Status2, with their continuation lines), so that the ones written
// before it are the only ones: readers take a message's own first. The body passes as it is.
class StatusFieldsLeftOut : public QIODevice
{
public:
    explicit StatusFieldsLeftOut(QIODevice &out);
    bool isSequential() const override { return true; }
    // Passes on what is held back; false when writing failed.
    bool finish();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool pass(const char *data, qint64 size);
    bool decideField();

    QIODevice &m_out;
    QByteArray m_held; // the start of a header line, up to its colon
    bool m_inHeader = true;
    bool m_atLineStart = true;
    bool m_leavingOut = false; // the field under way is left out
};

// Passes bytes on to `out`, putting one more '>' before each line that starts with "From "
// after any number of '>' (the mboxrd rule, which readers undo by taking one away), in one pass
// whatever the length of a line. Lines may be split across writes in any way. Remembers whether the last byte passed on
// was a line break.
class MboxrdQuoting : public QIODevice
{
public:
    explicit MboxrdQuoting(QIODevice &out);
    bool isSequential() const override { return true; }
    // Passes on what is held back at the end of the message (a last line that only began like
    // "From "); false when writing failed.
    bool finish();
    // Forgets what is held back, for a message taken back.
    void forget();
    bool endedWithLineBreak() const { return m_lastByte == '\n'; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool pass(const char *data, qint64 size);

    QIODevice &m_out;
    qsizetype m_fromMatched = 0; // how much of "From " began the line after its '>'s, held back
    bool m_atLineStart = true;
    char m_lastByte = '\n';
};

// One mbox file while its messages are appended: a temporary file beside the target that takes
// the target's name only when complete, so a stopped run leaves no half mailbox (and keeps an
// earlier complete one). Its bytes are gathered and written in large pieces; a message that
// cannot be written whole is cut off again, back to the end of the last complete one. Where even
// that fails, the file is damaged: it is removed, and never put in place.
class MboxFile
{
public:
    explicit MboxFile(QString target);
    ~MboxFile(); // an unfinished file is removed
    MboxFile(const MboxFile &) = delete;
    MboxFile &operator=(const MboxFile &) = delete;

    const QString &target() const { return m_target; }
    // The device to append one message to, after its separator line; the write is ended by
    // endMessage, or taken back whole by dropMessage. Null when the file cannot be written.
    QIODevice *beginMessage(const QByteArray &separatorLine, QString *error);
    FileResult endMessage();
    void dropMessage();
    // Lets go of the file's handle between two messages (taken again by the next beginMessage),
    // having written what was gathered.
    void release();
    bool holdsHandle() const { return m_file != nullptr; }
    // Why the file is damaged and was removed; empty while it is sound.
    const QString &damage() const { return m_damage; }
    // Renames the file into place; false with the reason when it cannot be.
    FileResult finish();

private:
    friend class MboxPending;
    bool openFile(QString *error);
    bool writePending();
    void giveUp(const QString &reason);
    QString writeError() const;

    QString m_target;
    QString m_temporary;     // the temporary file's name, once made
    FileIdentity m_identity; // and which file it is, to take it again only if it is the same
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<InFlightFile> m_inFlight;
    std::unique_ptr<QIODevice> m_gathering; // takes the bytes into m_pending
    std::unique_ptr<MboxrdQuoting> m_quoting;
    QByteArray m_pending;  // bytes after the m_written ones, not yet written
    qint64 m_written = 0;  // bytes in the file
    qint64 m_complete = 0; // bytes of the complete messages
    QString m_failure;     // the last write's error
    QString m_damage;
};

// One mbox file per mailbox, named after its folder, its messages in list order, each after its
// separator line and quoted by the mboxrd rule. A mailbox that holds another keeps the inner one
// in a folder named after it with ".sbd" added. Each file takes its name only once its last
// listed message is through; only a few hold a file handle at once. A mailbox that cannot be
// written soundly is given up whole, each of its messages failed by name. With --update a mailbox
// file that holds, as recorded (MailboxRecord), exactly the sources that the run would write into
// it, none of them changed since, is left as it is.
class MboxFiles : public MessageOutput
{
public:
    explicit MboxFiles(const OutputContext &context);
    ~MboxFiles() override;
    static std::unique_ptr<MessageOutput> make(const OutputContext &context);

    bool needsMailboxFacts() const override { return true; }
    void takeIn(const QList<ListedMessage> &messages) override;
    bool reservesFolder(const QString &folder) const override;
    QStringList landingPlaces(const QString &folder) const override;
    void place(RunMessage &message) override;
    bool writesInListOrder() const override { return true; }
    FileResult write(RunMessage &message, MessageContent &content) override;
    void reported(const RunMessage &message, RunReport &report) override;
    void finish(RunReport &report) override;

private:
    static constexpr int openMailboxesLimit = 4;
    QString mboxPathOf(const QString &folder) const;
    void countSpellingsOfInboxes(const QSet<QString> &folders);
    QStringList parentsOf(const QString &mbox) const;
    FileResult makeSureOfParents(const QString &mbox);
    void takeInUpToDateMailboxes(const QList<ListedMessage> &messages, const QStringList &folders);
    void holdHandleFor(const QString &mbox);
    void noteIfGivenUp(const MboxFile &mailbox);
    FileResult givenUpFailure(const QString &mbox) const;
    FileResult writeInto(MboxFile &mailbox, const RunMessage &message, MessageContent &content) const;
    void failOutputsOf(const QString &mbox, RunReport &report) const;
    QString targetOf(const QString &folder) const;
    bool holdsOtherSources(const QString &mailbox, const QList<MailboxRecord::Source> &sources) const;

    OutputContext m_context;
    std::map<QString, std::unique_ptr<MboxFile>> m_open; // mbox files being written
    QStringList m_holding;                               // those that hold a file handle, the latest last
    QHash<int, QStringList> m_endingAt;                  // list index -> the mailboxes it ends
    QSet<QString> m_upToDate;                            // mbox files that hold what the run would write
    QSet<QString> m_folders;                             // the folders the run's messages go to
    QHash<QString, int> m_inboxBeside;                   // a folder, in small letters -> how many spell it
    QSet<QString> m_parentsMade;                         // mailbox files made sure of for the mailboxes they hold
    QHash<QString, QString> m_givenUp;                   // damaged mbox files -> why
    QStringList m_toFail;                                // given up, their messages not yet failed
    MailboxRecord m_record;                              // with --update
    QHash<QString, QList<MailboxRecord::Source>> m_held; // mbox file being written -> the sources written into it
    QHash<QString, QString> m_instead;                   // mbox file -> the numbered one this run writes instead
};
