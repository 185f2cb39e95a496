#include "EventPump.h"

#include <QCoreApplication>

void EventPump::operator()()
{
    if (m_sinceLast.isValid() && m_sinceLast.elapsed() < intervalMs)
        return;
    QCoreApplication::processEvents();
    m_sinceLast.start();
}
