#pragma once

#include "convert/output/MailboxRecord.h"
#include "convert/output/MessageOutput.h"

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
// MAILER-DAEMON when neither holds one (a null Return-Path "<>" included); the date in UTC.
QByteArray mboxSeparatorLine(const QString &returnPath, const QString &fromHeader, const QDateTime &date);
// "Status: RO\n" and, when the message was answered, flagged, deleted or a draft, an
// "X-Status: " line with A, F, D, T.
QByteArray mboxStatusHeaders(quint64 flags);

// Passes bytes on to `out`, putting one more '>' before each line that starts with "From "
// after any number of '>' (the mboxrd rule, which readers undo by taking one away). Lines may be
// split across writes in any way. Remembers whether the last byte passed on was a line break.
class MboxrdQuoting : public QIODevice
{
public:
    explicit MboxrdQuoting(QIODevice &out);
    bool isSequential() const override { return true; }
    // Passes on what is held back at the end of the message (a last line that only began like
    // "From "); false when writing failed.
    bool finish();
    bool endedWithLineBreak() const { return m_lastByte == '\n'; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool pass(const char *data, qint64 size);

    QIODevice &m_out;
    QByteArray m_held; // the start of a line that may still become a quoted "From "
    bool m_atLineStart = true;
    char m_lastByte = '\n';
};

// One mbox file while its messages are appended: a temporary file beside the target that takes
// the target's name only when complete, so a stopped run leaves no half mailbox (and keeps an
// earlier complete one).
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
    // Renames the file into place; false with the reason when it cannot be.
    FileResult finish();

private:
    QString m_target;
    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<InFlightFile> m_inFlight;
    std::unique_ptr<MboxrdQuoting> m_quoting;
    qint64 m_messageStart = 0;
};

// One mbox file per mailbox, named after its folder, its messages in list order, each after its
// separator line and quoted by the mboxrd rule. A mailbox that holds another keeps the inner one
// in a folder named after it with ".sbd" added. Each file takes its name only once its last
// listed message is through. With --update a mailbox file that holds, as recorded
// (MailboxRecord), exactly the sources that the run would write into it, none of them changed
// since, is left as it is.
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
    QString mboxPathOf(const QString &folder) const;
    QString targetOf(const QString &folder) const;
    void takeInUpToDateMailboxes(const QList<ListedMessage> &messages, const QStringList &folders);
    bool holdsOtherSources(const QString &mailbox, const QList<MailboxRecord::Source> &sources) const;

    OutputContext m_context;
    std::map<QString, std::unique_ptr<MboxFile>> m_open; // mbox files being written
    QHash<int, QStringList> m_endingAt;                  // list index -> the mailboxes it ends
    QSet<QString> m_upToDate;                            // mbox files that hold what the run would write
    QSet<QString> m_folders;                             // the folders the run's messages go to
    MailboxRecord m_record;                              // with --update
    QHash<QString, QList<MailboxRecord::Source>> m_held;
    QHash<QString, QString> m_instead; // mbox file -> the numbered one this run writes instead // mbox file being written -> the sources written into it
};
