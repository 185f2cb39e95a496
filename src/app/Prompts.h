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
    // Run by a box's "Save List..." button; the box stays open.
    using SaveAction = std::function<void()>;

    virtual ~Prompts() = default;

    // Yes and No, Yes the default; true for Yes.
    virtual bool askYesNo(const QString &question) = 0;
    // One OK button; `details` (may be empty) is shown as scrollable, copyable text. With a
    // `saveList` the box also offers to save the list.
    virtual void inform(const QString &text, Icon icon, const QString &details = {},
                        const SaveAction &saveList = {}) = 0;
    virtual void warn(const QString &text, const QString &details = {}, const SaveAction &saveList = {}) = 0;
    // The files picked in a multiple-selection open dialog that starts in `startFolder`; empty
    // when cancelled.
    virtual QStringList pickFiles(const QString &filter, const QString &startFolder) = 0;
    // The folder picked under `prompt`, the picker starting in `startFolder`; empty when cancelled.
    virtual QString pickFolder(const QString &prompt, const QString &startFolder) = 0;
    // The path of a new text file chosen under `prompt`, `suggested` offered; empty when cancelled.
    virtual QString pickSaveFile(const QString &prompt, const QString &suggested) = 0;
};
