#pragma once

#include "ScriptedPrompts.h"
#include "app/frmStep1.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QList>
#include <QTest>

#include <memory>

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
    QStringList files() const { return window->messageList().files(); }
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
