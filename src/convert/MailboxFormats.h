// What the mbox and Maildir outputs add around a message: the mbox separator line, its quoting and
// status headers, the Maildir file name with its flags, and the mbox file written in one piece.
#pragma once

#include "platform/PathHelpers.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>

#include <memory>

class QTemporaryFile;
class InFlightFile;

// What a run writes into the folder each message's mailbox gets.
enum class OutputFormat {
    Eml,     // one loose .eml file per message
    Mbox,    // one mbox file per mailbox, named after it
    Maildir, // one Maildir (cur/, new/, tmp/) per mailbox
};

// The mail client's per-message state bits in the property list's `flags`.
namespace MessageFlag {
inline constexpr quint64 Read = 1u << 0;
inline constexpr quint64 Deleted = 1u << 1;
inline constexpr quint64 Answered = 1u << 2;
inline constexpr quint64 Flagged = 1u << 4;
inline constexpr quint64 Draft = 1u << 6;
} // namespace MessageFlag

// The Maildir info letters for those bits, in ASCII order: "DFRST" when all are set.
QString maildirFlagLetters(quint64 flags);
// A Maildir unique name for a message file: the same for the same path in every run, and
// holding neither '/' nor ':'.
QString maildirUniqueName(const QString &absoluteSource);

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
