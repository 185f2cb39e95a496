#pragma once

#include <QList>
#include <QString>

// Why a note was made. The end box and emlx2eml count notes by their reason; each reason has
// one text (reasonText), which heads its group.
enum class NoteReason : quint8 {
    SourceGone,          // the file is gone, or a link to it leads nowhere
    NotRegularFile,      // a pipe, a device, a socket, a kernel file: never read
    CannotRead,          // opening or reading failed
    NoMessage,           // empty, or nothing between the count line and the mail client's data
    CannotWrite,         // the output could not be written or put in place
    CannotMakeFolder,    // a folder on the way could not be made, or a file is in its place
    RefusedInDestination, // a link below the destination, or a place outside it
    NotOnDisk,           // what was written could not be made sure to be on the disk
    UnusableName,        // a name that is no valid UTF-8
    LinkedFolder,        // a link to a folder: not followed
    UnreadableFolder,    // a folder whose listing could not be read
    DoubtfulEnvelope,    // the byte count or the first line is not what the mail client writes
    NotMail,             // no header lines: written as it is
    LongHeaders,         // the header block does not end where names are looked for
    MissingPart,         // a part cut out by the mail client was not found beside its message
    FullCopyInstead,     // a partial copy gave way to its full copy
    MailboxName,         // a mailbox name that cannot be a folder name as it is
    FoldersMeet,         // two source folders that one output folder would take: the later one numbered
    StateNotKept,        // a date or the record of an --update run could not be kept
    NamesMeet,           // a name that an earlier one took in other letter case: numbered
};

// "could not be read", "could not be written", ...: the group's heading.
QString reasonText(NoteReason reason);

// A problem with one source: what it is about, why, and the sentence that says it. The text never
// repeats the source: where its sentence names the source, it holds sourceMark instead.
struct MessageNote {
    QString source;
    NoteReason reason = NoteReason::CannotWrite;
    QString text;

    // The note of a sentence that may name the source (as quotedPath writes it).
    static MessageNote about(const QString &source, NoteReason reason, const QString &sentence);
};

inline constexpr QChar sourceMark{0xFFFC};

// Notes of one reason, in the order they came.
struct ReasonGroup {
    NoteReason reason;
    QList<MessageNote> notes;
};
// The notes grouped by reason, the most frequent reason first (the first seen first among equals).
QList<ReasonGroup> groupByReason(const QList<MessageNote> &notes);

// The note as one line, for every front end to frame as it likes: the quoted source where the
// text names it, else the quoted source, a colon and the text.
QString noteLine(const MessageNote &note);
