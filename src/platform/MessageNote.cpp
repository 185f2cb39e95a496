#include "MessageNote.h"

#include "PathHelpers.h"

MessageNote MessageNote::fromSentence(const QString &source, const QString &sentence)
{
    const QString quoted = QuotedPath(source);
    const QString lead = quoted + QStringLiteral(": ");
    QString text = sentence.startsWith(lead) ? sentence.mid(lead.size()) : sentence;
    return {source, text.replace(quoted, noteSourceMark)};
}

QString noteLine(const MessageNote &note)
{
    const QString quoted = QuotedPath(note.source);
    if (!note.text.contains(noteSourceMark))
        return quoted + QStringLiteral(": ") + note.text;
    return noteReason(note, quoted);
}

QString noteReason(const MessageNote &note, const QString &standIn)
{
    return QString(note.text).replace(noteSourceMark, standIn);
}
