#pragma once

#include <QString>
#include <QStringList>

#include <functional>

inline QString applicationTitle()
{
    return QStringLiteral("Vaskel EMLX to EML Converter");
}

// Every question, message box and file dialog of the window goes through this interface, so that
// tests can answer them. The window owns one; message boxes carry the application title.
class Prompts
{
public:
    enum class Icon { Plain, Information };
    // Buttons a box may offer besides OK. Each runs its action and leaves the box open, OK the
    // default button again.
    struct Actions {
        std::function<void()> saveList;   // "Save List..."
        std::function<void()> openFolder; // "Open Folder"
    };

    virtual ~Prompts() = default;

    // Yes and No, Yes the default; true for Yes.
    virtual bool askYesNo(const QString &question) = 0;
    // One OK button; `details` (may be empty) is shown as scrollable, copyable text. A box with
    // details or actions can be made larger, its details growing with it.
    virtual void inform(const QString &text, Icon icon, const QString &details = {}, const Actions &actions = {}) = 0;
    virtual void warn(const QString &text, const QString &details = {}, const Actions &actions = {}) = 0;
    // The files picked in a multiple-selection open dialog that starts in `startFolder`; empty
    // when cancelled.
    virtual QStringList pickFiles(const QString &filter, const QString &startFolder) = 0;
    // The folder picked under `prompt`, the picker starting in `startFolder`; empty when
    // cancelled. With `offerNewFolder`, a typed name of a folder that does not exist is offered
    // to be made.
    virtual QString pickFolder(const QString &prompt, const QString &startFolder, bool offerNewFolder = false) = 0;
    // The path of a new text file chosen under `prompt`, `suggested` offered; empty when cancelled.
    virtual QString pickSaveFile(const QString &prompt, const QString &suggested) = 0;
    // Shows the folder in the desktop's file manager.
    virtual void showFolder(const QString &folder) = 0;
};
