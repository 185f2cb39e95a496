// A problem with one file or folder, told the same way by the window and by emlx2eml.
#pragma once

#include <QString>

// Where a note's text names its source. No path can hold a NUL, so a path elsewhere in the
// text never passes for the mark.
inline const QString noteSourceMark = QString(QChar(u'\0'));

// What went wrong with `source`, in plain words. The text never repeats the source: where the
// sentence names it, the text holds noteSourceMark; a text without the mark is about the
// source as a whole ("no such file or folder"). Other paths (the target, a full copy) stay in
// the text as they are.
struct MessageNote {
    QString source;
    QString text;

    // The note of a sentence that names `source` as QuotedPath writes it: a leading
    // "\"source\": " is dropped, the source's other places become the mark.
    static MessageNote fromSentence(const QString &source, const QString &sentence);
};

// The note as one line: the text with the quoted source in its place, or "\"source\": text".
QString noteLine(const MessageNote &note);
// The note's text with `standIn` where it names its source.
QString noteReason(const MessageNote &note, const QString &standIn);
