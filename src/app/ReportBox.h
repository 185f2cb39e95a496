#pragma once

#include "app/Prompts.h"

#include <QDialog>
#include <QMessageBox>

class QDialogButtonBox;
class QPushButton;

// A message box for what needs room: a run's end, a scan's files left out. Its text on top, the
// details below in an area that grows with the box (long lines wrap, none is cut off), OK and the
// offered actions at the bottom. The box can be made larger and smaller.
class ReportBox : public QDialog
{
public:
    ReportBox(QWidget *owner, QMessageBox::Icon icon, const QString &text, const QString &details,
              const Prompts::Actions &actions);

private:
    void addAction(const QString &caption, const std::function<void()> &action);

    QDialogButtonBox *m_buttons;
    QPushButton *m_ok;
};
