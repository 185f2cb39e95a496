#include "FolderScan.h"

#include "pathLogger.h"

#include "PathHelpers.h"

bool isMessageFileName(const QString &path)
{
    return path.trimmed().endsWith(QStringLiteral(".emlx"), Qt::CaseInsensitive);
}

FolderScanResult scanForMessageFiles(const QString &folder, const std::function<void()> &yield,
                                     const std::function<bool()> &stopRequested,
                                     const std::function<void(const QString &file)> &found)
{
    FolderScanResult result;
    pathLogger walker;
    qsizetype told = 0; // files of the walk's list that `found` has been asked about
    const auto tellFound = [&] {
        const QStringList &files = walker.fullFileNames().values();
        for (; told < files.size(); ++told)
            if (isMessageFileName(files[told]))
                found(files[told]);
    };
    walker.setYield([&] {
        if (found)
            tellFound();
        if (yield)
            yield();
    });
    walker.setStopRequested(stopRequested);
    walker.PathLogInit();
    walker.fullFileNamesOnly = true;
    result.folderExists = walker.LogPath(folder) || walker.stopped();
    if (found && !walker.stopped())
        tellFound();
    result.stopped = walker.stopped();
    for (const QString &file : walker.fullFileNames().values())
        if (isMessageFileName(file))
            result.messageFiles.append(file);
    result.unreadableFolders = walker.unreadableFolders();
    result.unusableFileNames = walker.unusableFileNames();
    walker.Terminate();
    return result;
}

QStringList FolderScanResult::problems() const
{
    QStringList sentences;
    for (const QString &folder : unreadableFolders)
        sentences << QStringLiteral("cannot read folder %1").arg(QuotedPath(folder));
    for (const QString &file : unusableFileNames)
        sentences << QStringLiteral("cannot convert %1: its name is not valid UTF-8; rename the file and add it again")
                         .arg(QuotedPath(file));
    return sentences;
}
