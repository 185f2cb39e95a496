#include "ChildProcess.h"

ChildResult waitForChild(QProcess &process, int limitMs)
{
    ChildResult child;
    child.finished = process.waitForFinished(limitMs);
    if (!child.finished) {
        process.kill();
        process.waitForFinished();
    }
    child.exitCode = process.exitCode();
    child.exitStatus = process.exitStatus();
    child.output = process.readAllStandardOutput();
    child.errors = QString::fromUtf8(process.readAllStandardError());
    return child;
}

ChildResult runChild(const QString &program, const QStringList &arguments, int limitMs, const QString &workingFolder)
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    return waitForChild(process, limitMs);
}
