#include "FolderScan.h"

#include "pathLogger.h"

bool isMessageFileName(const QString &path)
{
    return path.trimmed().endsWith(QStringLiteral(".emlx"), Qt::CaseInsensitive);
}

FolderScanResult scanForMessageFiles(const QString &folder, const std::function<void()> &yield)
{
    FolderScanResult result;
    pathLogger walker;
    walker.setYield(yield);
    walker.PathLogInit();
    walker.fullFileNamesOnly = true;
    result.folderExists = walker.LogPath(folder);
    for (const QString &file : walker.fullFileNames().values())
        if (isMessageFileName(file))
            result.messageFiles.append(file);
    result.unreadableFolders = walker.unreadableFolders();
    walker.Terminate();
    return result;
}
