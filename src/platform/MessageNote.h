#pragma once

#include <QString>

// A problem with one source: what it is about, and why. The text never repeats the source:
// where its sentence names the source, it holds sourceMark instead.
struct MessageNote {
    QString source;
    QString text;

    // The note of a sentence that may name the source (as quotedPath writes it).
    static MessageNote about(const QString &source, const QString &sentence);
};

inline constexpr QChar sourceMark{0xFFFC};

// The note as one line, for every front end to frame as it likes: the quoted source where the
// text names it, else the quoted source, a colon and the text.
QString noteLine(const MessageNote &note);
