#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A child program run to its end within a time limit; one that overruns it is killed, so that a
// hanging program fails its test instead of stalling the suite.
struct ChildResult {
    bool finished = false; // false: killed at the time limit
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray output;
    QString errors;
};

// Waits for a started child for at most `limitMs`.
ChildResult waitForChild(QProcess &process, int limitMs);

// Starts `program` in `workingFolder` (empty: this one) and waits for it for at most `limitMs`.
ChildResult runChild(const QString &program, const QStringList &arguments, int limitMs,
                     const QString &workingFolder = {});
