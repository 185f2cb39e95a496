#pragma once

#include "app/Prompts.h"

#include <QPointer>

class QDialog;
class QWidget;

// The real prompts: Qt message boxes and file dialogs, modal over the owner window, or over the
// box that is open when a dialog is asked for from one of its buttons.
class DialogPrompts : public Prompts
{
public:
    explicit DialogPrompts(QWidget *owner) : m_owner(owner) {}

    bool askYesNo(const QString &question) override;
    void inform(const QString &text, Icon icon, const QString &details = {}, const Actions &actions = {}) override;
    void warn(const QString &text, const QString &details = {}, const Actions &actions = {}) override;
    QStringList pickFiles(const QString &filter, const QString &startFolder) override;
    QString pickFolder(const QString &prompt, const QString &startFolder, bool offerNewFolder = false) override;
    QString pickSaveFile(const QString &prompt, const QString &suggested) override;
    void showFolder(const QString &folder) override;

private:
    int showBox(int icon, const QString &text, int buttons, const QString &details, const Actions &actions);
    int showModal(QDialog &box);
    QWidget *dialogOwner() const;

    QWidget *m_owner;
    QPointer<QWidget> m_openBox;
};
