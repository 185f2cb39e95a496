#pragma once

#include "app/Prompts.h"

#include <QList>
#include <QStringList>

// Answers the window's questions and dialogs from scripted lists, and records what was asked as
// "kind: text" lines, marked when the busy cursor was still on, and where each picker started. A
// question without a scripted answer gets No, or a cancelled dialog. A box that offers to save
// its list has "Save List..." pressed once for each scripted save path; one that offers to open
// its folder has "Open Folder" pressed when pressOpenFolder is set.
class ScriptedPrompts : public Prompts
{
public:
    QList<bool> yesNo;
    QList<QStringList> files;
    QStringList folders;
    QStringList savePaths;
    bool pressOpenFolder = false;

    QStringList asked;
    QStringList details;
    QStringList startFolders;

    bool askYesNo(const QString &question) override;
    void inform(const QString &text, Icon icon, const QString &more, const Actions &actions) override;
    void warn(const QString &text, const QString &more, const Actions &actions) override;
    QStringList pickFiles(const QString &filter, const QString &startFolder) override;
    QString pickFolder(const QString &prompt, const QString &startFolder, bool offerNewFolder) override;
    QString pickSaveFile(const QString &prompt, const QString &suggested) override;
    void showFolder(const QString &folder) override;

private:
    void pressButtons(const Actions &actions);
    void record(const QString &kind, const QString &text, const QString &more = {});
};
