#pragma once

#include "Prompts.h"
#include "frmStep1.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QList>
#include <QTest>

#include <memory>

// Answers the window's questions and dialogs from scripted lists, and records what was asked as
// "kind: text" lines, marked when the busy cursor was still on, and where each picker started. A
// question without a scripted answer gets No, or a cancelled dialog. A box that offers to save
// its list has "Save List..." pressed once for each scripted save path.
class ScriptedPrompts : public Prompts
{
public:
    QList<bool> yesNo;
    QList<QStringList> files;
    QStringList folders;
    QStringList savePaths;

    QStringList asked;
    QStringList details;
    QStringList startFolders;

    bool askYesNo(const QString &question) override
    {
        record(QStringLiteral("ask"), question);
        return !yesNo.isEmpty() && yesNo.takeFirst();
    }
    void inform(const QString &text, Icon icon, const QString &more, const SaveAction &saveList) override
    {
        record(icon == Icon::Information ? QStringLiteral("inform") : QStringLiteral("tell"), text, more);
        pressSave(saveList);
    }
    void warn(const QString &text, const QString &more, const SaveAction &saveList) override
    {
        record(QStringLiteral("warn"), text, more);
        pressSave(saveList);
    }
    QStringList pickFiles(const QString &filter, const QString &startFolder) override
    {
        record(QStringLiteral("pickFiles"), filter);
        startFolders.append(startFolder);
        return files.isEmpty() ? QStringList() : files.takeFirst();
    }
    QString pickFolder(const QString &prompt, const QString &startFolder) override
    {
        record(QStringLiteral("pickFolder"), prompt);
        startFolders.append(startFolder);
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    QString pickSaveFile(const QString &prompt, const QString &suggested) override
    {
        record(QStringLiteral("pickSaveFile"), prompt);
        startFolders.append(suggested);
        return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
    }

private:
    void pressSave(const SaveAction &saveList)
    {
        for (int presses = int(savePaths.size()); saveList && presses > 0; --presses)
            saveList();
    }
    void record(const QString &kind, const QString &text, const QString &more = {})
    {
        const bool busy = QGuiApplication::overrideCursor() != nullptr;
        asked.append(kind + QStringLiteral(": ") + text + (busy ? QStringLiteral(" [busy cursor]") : QString()));
        details.append(more);
    }
};

// A fresh, shown window with scripted prompts; controls are found by their object names.
struct TestWindow {
    ScriptedPrompts *prompts = new ScriptedPrompts;
    std::unique_ptr<frmStep1> window = std::make_unique<frmStep1>(std::unique_ptr<Prompts>(prompts));

    TestWindow()
    {
        window->show();
        window->activateWindow();
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window.get());
    }

    template <typename T = QWidget>
    T *get(const char *name) const
    {
        T *control = window->findChild<T *>(QLatin1String(name));
        if (!control)
            qFatal("no control %s", name);
        return control;
    }
    void click(const char *name) const { get<QAbstractButton>(name)->click(); }
    QString text(const char *name) const { return get(name)->property("text").toString(); }
    // Which buttons that start work are enabled, and whether the busy cursor is on.
    QString state() const
    {
        return QStringLiteral("add %1, folder %2, clear %3, convert %4, exit %5, busy %6")
            .arg(get("cmdAdd")->isEnabled())
            .arg(get("CmdAddFolder")->isEnabled())
            .arg(get("cmdClear1")->isEnabled())
            .arg(get("CmdConvert2PDF")->isEnabled())
            .arg(get("cmdEnd")->isEnabled())
            .arg(QGuiApplication::overrideCursor() != nullptr);
    }
    const QStringList &files() const { return window->messageList().files(); }
    // Lists the files through Add EMLX File(s) and forgets that dialog.
    void list(const QStringList &paths) const
    {
        prompts->files = {paths};
        click("cmdAdd");
        prompts->asked.clear();
        prompts->details.clear();
        prompts->startFolders.clear();
    }
};
