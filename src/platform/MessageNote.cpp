#include "platform/MessageNote.h"

#include "platform/PathHelpers.h"

#include <QHash>

#include <algorithm>

QString reasonText(NoteReason reason)
{
    switch (reason) {
    case NoteReason::SourceGone:
        return QStringLiteral("gone, or a link that leads nowhere");
    case NoteReason::NotRegularFile:
        return QStringLiteral("not a regular file: never read");
    case NoteReason::CannotRead:
        return QStringLiteral("could not be read");
    case NoteReason::NoMessage:
        return QStringLiteral("holds no message");
    case NoteReason::CannotWrite:
        return QStringLiteral("could not be written");
    case NoteReason::CannotMakeFolder:
        return QStringLiteral("no folder could be made for it");
    case NoteReason::RefusedInDestination:
        return QStringLiteral("a link or a place outside the destination: nothing written there");
    case NoteReason::NotOnDisk:
        return QStringLiteral("could not be made sure to be on the disk");
    case NoteReason::UnusableName:
        return QStringLiteral("a name that is not valid UTF-8");
    case NoteReason::LinkedFolder:
        return QStringLiteral("a link to a folder: not followed");
    case NoteReason::UnreadableFolder:
        return QStringLiteral("a folder that could not be read");
    case NoteReason::DoubtfulEnvelope:
        return QStringLiteral("the first line does not give the message's size");
    case NoteReason::NotMail:
        return QStringLiteral("does not look like a mail message");
    case NoteReason::LongHeaders:
        return QStringLiteral("headers too long to read whole");
    case NoteReason::MissingPart:
        return QStringLiteral("a part of the message was not found");
    case NoteReason::FullCopyInstead:
        return QStringLiteral("a partial copy that gave way to its full copy");
    case NoteReason::MailboxName:
        return QStringLiteral("a mailbox name that cannot be a folder");
    case NoteReason::FoldersMeet:
        return QStringLiteral("a folder whose output folder another took: numbered");
    case NoteReason::StateNotKept:
        return QStringLiteral("a date or a record that could not be kept");
    case NoteReason::NamesMeet:
        return QStringLiteral("a name that another took in other letter case: numbered");
    }
    return {};
}

QList<ReasonGroup> groupByReason(const QList<MessageNote> &notes)
{
    QList<ReasonGroup> groups;
    QHash<NoteReason, qsizetype> positions;
    for (const MessageNote &note : notes) {
        const qsizetype position = positions.value(note.reason, groups.size());
        if (position == groups.size()) {
            positions.insert(note.reason, position);
            groups.append({note.reason, {}});
        }
        groups[position].notes.append(note);
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const ReasonGroup &a, const ReasonGroup &b) { return a.notes.size() > b.notes.size(); });
    return groups;
}

MessageNote MessageNote::about(const QString &source, NoteReason reason, const QString &sentence)
{
    return {source, reason, QString(sentence).replace(quotedPath(source), QString(sourceMark))};
}

QString noteLine(const MessageNote &note)
{
    const QString quoted = quotedPath(note.source);
    if (note.text.contains(sourceMark))
        return QString(note.text).replace(sourceMark, quoted);
    return quoted + QStringLiteral(": ") + note.text;
}
