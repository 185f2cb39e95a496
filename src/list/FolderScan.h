#pragma once

#include <QStringList>

#include <functional>

// What a scan of a folder tree found: every message file below it, in walk order.
struct FolderScanResult {
    bool folderExists = false;
    QStringList messageFiles;
    QStringList unreadableFolders;
};

// True for names that end in ".emlx" in any letter case, blanks around the name ignored.
bool isMessageFileName(const QString &path);

// Walks the tree below `folder` breadth first and keeps the message files.
FolderScanResult scanForMessageFiles(const QString &folder, const std::function<void()> &yield = {});
