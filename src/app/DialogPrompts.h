#pragma once

#include "Prompts.h"

class QWidget;

// The real prompts: Qt message boxes and file dialogs, modal over the owner window.
class DialogPrompts : public Prompts
{
public:
    explicit DialogPrompts(QWidget *owner) : m_owner(owner) {}

    bool askYesNo(const QString &question) override;
    void inform(const QString &text, Icon icon, const QString &details = {}) override;
    void warn(const QString &text, const QString &details = {}) override;
    QStringList pickFiles(const QString &filter) override;
    QString pickFolder(const QString &prompt) override;

private:
    QWidget *m_owner;
};
