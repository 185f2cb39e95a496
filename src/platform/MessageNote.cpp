#include "MessageNote.h"

#include "PathHelpers.h"

MessageNote MessageNote::about(const QString &source, const QString &sentence)
{
    return {source, QString(sentence).replace(QuotedPath(source), QString(sourceMark))};
}

QString noteLine(const MessageNote &note)
{
    const QString quoted = QuotedPath(note.source);
    if (note.text.contains(sourceMark))
        return QString(note.text).replace(sourceMark, quoted);
    return quoted + QStringLiteral(": ") + note.text;
}
