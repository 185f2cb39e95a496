#pragma once

#include <QElapsedTimer>

// Lets the window's pending events run between the steps of a long operation, but not more
// often than a smooth window needs: a step every few microseconds must not cost a repaint each.
class EventPump
{
public:
    // About 60 times a second. Tests set 0 to see the window at every step.
    static inline int intervalMs = 16;

    // Whether the next turn is due.
    bool due() const { return !m_sinceLast.isValid() || m_sinceLast.elapsed() >= intervalMs; }
    // Lets the pending events run now.
    void turn();
    // A turn when one is due.
    void operator()()
    {
        if (due())
            turn();
    }

private:
    QElapsedTimer m_sinceLast;
};
