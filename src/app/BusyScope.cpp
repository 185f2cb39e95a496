#include "BusyScope.h"

#include <QGuiApplication>

BusyScope::BusyScope(const QList<QWidget *> &controls, bool busyCursor) : m_busyCursor(busyCursor)
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
}
