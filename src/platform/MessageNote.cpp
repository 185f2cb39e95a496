#include "platform/MessageNote.h"

#include "platform/PathHelpers.h"

MessageNote MessageNote::about(const QString &source, const QString &sentence)
{
    return {source, QString(sentence).replace(quotedPath(source), QString(sourceMark))};
}

QString noteLine(const MessageNote &note)
{
    const QString quoted = quotedPath(note.source);
    if (note.text.contains(sourceMark))
        return QString(note.text).replace(sourceMark, quoted);
    return quoted + QStringLiteral(": ") + note.text;
}
