#pragma once

#include <QString>
#include <QStringList>

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

    virtual ~Prompts() = default;

    // Yes and No, Yes the default; true for Yes.
    virtual bool askYesNo(const QString &question) = 0;
    // One OK button; `details` (may be empty) is shown as scrollable, copyable text.
    virtual void inform(const QString &text, Icon icon, const QString &details = {}) = 0;
    virtual void warn(const QString &text, const QString &details = {}) = 0;
    // The files picked in a multiple-selection open dialog; empty when cancelled.
    virtual QStringList pickFiles(const QString &filter) = 0;
    // The folder picked under `prompt`; empty when cancelled.
    virtual QString pickFolder(const QString &prompt) = 0;
};
