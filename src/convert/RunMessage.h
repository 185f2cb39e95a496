#pragma once

#include "convert/EmlxEnvelope.h"
#include "convert/OutputNaming.h"
#include "platform/MessageNote.h"
#include "platform/PathHelpers.h"
#include "platform/SourceFile.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

// What the mbox and Maildir outputs take from a message besides its bytes: the mail client's
// state bits (MessageFlag), the date it arrived and was sent, and its sender.
struct MailboxFacts {
    quint64 flags = 0;
    QDateTime received; // the mail client's received date, else the message's date
    QDateTime date;     // the Date header's, else the mail client's sent or received date, else the file's
    QString returnPath; // as the header stands ("<bounce@example.com>"), empty when missing
    QString from;       // decoded From header
};

// One listed entry on its way through the run: what the read step learnt of it, where its output
// goes, and what became of it.
struct RunMessage {
    enum class State { Pending, NoMessage, Repeated, SkippedPartial, Failed, Named, UpToDate, Written };
    QString entry;
    NamingScheme scheme = NamingScheme::Original;
    QString source;   // the entry with '/' separators, or the full copy that stands in for a partial one
    QString absolute; // the same as a whole, clean path
    State state = State::Pending;
    // Opened once for the envelope, the header block and the copy.
    std::unique_ptr<SourceFile> file;
    EmlxEnvelope envelope;
    FileStamp sourceStamp; // the source's modification time, as opened
    QString folder;        // the folder its layout gives it, below the destination
    QString name;          // its output name before numbering
    QString target;        // the file that holds its output
    MailboxFacts facts;    // read only for the formats that need them
    MessageNote failure;
    QList<MessageNote> warnings;
    int index = -1;          // in the run's list
    bool fromRecord = false; // named and placed from an earlier run's record, the source not yet opened

    void fail(NoteReason reason, const QString &text)
    {
        state = State::Failed;
        failure = MessageNote::about(entry, reason, text);
    }
    void fail(const FileResult &result) { fail(result.reason, result.error); }
    void warn(NoteReason reason, const QString &text) { warnings.append(MessageNote::about(entry, reason, text)); }
};
