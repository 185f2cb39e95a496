#pragma once

#include <QString>

struct RunReport;

// What the end box of a run says. The details open with one line per reason, its count and a
// few of its files, so that thousands of alike failures read as one; the full list follows, and
// is what "Save List..." writes.
struct RunSummary {
    bool failed = false; // some messages were not converted: a warning box
    QString text;        // the box's own text
    QString details;     // empty when there is nothing to add
    QString fullList;    // every failure and warning, a line each

    QString savedText() const { return text + QStringLiteral("\n\n") + fullList + u'\n'; }
};

// "1 message", "1,203 messages": a count in the user's way of writing numbers, and its noun.
QString counted(qsizetype count, const QString &one, const QString &many);

// The box says how many messages were written below `destination` and, when some failed or
// warned, how many ("Completed ! 20 warnings").
RunSummary summariseRun(const RunReport &report, const QString &destination);
