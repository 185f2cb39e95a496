#pragma once

#include <QElapsedTimer>

// Lets the window's pending events run between the steps of a long operation, but not more
// often than a smooth window needs: a step every few microseconds must not cost a repaint each.
class EventPump
{
public:
    static constexpr int intervalMs = 16; // about 60 times a second

    void operator()();

private:
    QElapsedTimer m_sinceLast;
};
