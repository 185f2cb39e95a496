#include "app/EventPump.h"

#include <QCoreApplication>

void EventPump::turn()
{
    QCoreApplication::processEvents();
    m_sinceLast.start();
}
