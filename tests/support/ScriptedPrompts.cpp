#include "ScriptedPrompts.h"

#include <QGuiApplication>

bool ScriptedPrompts::askYesNo(const QString &question)
{
    record(QStringLiteral("ask"), question);
    return !yesNo.isEmpty() && yesNo.takeFirst();
}

void ScriptedPrompts::inform(const QString &text, Icon icon, const QString &more, const Actions &actions)
{
    record(icon == Icon::Information ? QStringLiteral("inform") : QStringLiteral("tell"), text, more);
    pressButtons(actions);
}

void ScriptedPrompts::warn(const QString &text, const QString &more, const Actions &actions)
{
    record(QStringLiteral("warn"), text, more);
    pressButtons(actions);
}

QStringList ScriptedPrompts::pickFiles(const QString &filter, const QString &startFolder)
{
    record(QStringLiteral("pickFiles"), filter);
    startFolders.append(startFolder);
    return files.isEmpty() ? QStringList() : files.takeFirst();
}

QString ScriptedPrompts::pickFolder(const QString &prompt, const QString &startFolder, bool)
{
    record(QStringLiteral("pickFolder"), prompt);
    startFolders.append(startFolder);
    return folders.isEmpty() ? QString() : folders.takeFirst();
}

QString ScriptedPrompts::pickSaveFile(const QString &prompt, const QString &suggested)
{
    record(QStringLiteral("pickSaveFile"), prompt);
    startFolders.append(suggested);
    return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
}

void ScriptedPrompts::showFolder(const QString &folder)
{
    record(QStringLiteral("showFolder"), folder);
}

void ScriptedPrompts::pressButtons(const Actions &actions)
{
    for (int presses = int(savePaths.size()); actions.saveList && presses > 0; --presses)
        actions.saveList();
    if (pressOpenFolder && actions.openFolder)
        actions.openFolder();
}

void ScriptedPrompts::record(const QString &kind, const QString &text, const QString &more)
{
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    asked.append(kind + QStringLiteral(": ") + text + (busy ? QStringLiteral(" [busy cursor]") : QString()));
    details.append(more);
}
