#include "app/BusyScope.h"

#include <QGuiApplication>

BusyScope::BusyScope(const QList<QWidget *> &controls, bool busyCursor, QWidget *focusAfter)
    : m_busyCursor(busyCursor), m_focusAfter(focusAfter)
{
    for (QWidget *control : controls) {
        m_held.append({control, control->isEnabled()});
        control->setEnabled(false);
    }
    if (m_busyCursor)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyScope::~BusyScope()
{
    if (m_busyCursor)
        QGuiApplication::restoreOverrideCursor();
    for (const Held &held : m_held)
        if (held.control)
            held.control->setEnabled(held.wasEnabled);
    if (m_focusAfter && m_focusAfter->isEnabled())
        m_focusAfter->setFocus();
}
