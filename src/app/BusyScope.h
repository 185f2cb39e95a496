#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

// While a scan or a run is in progress: the given controls are disabled (and, if asked, the busy
// cursor is shown); when the scope ends, however it ends, each control gets its earlier state back
// and the focus goes to `focusAfter` (the button that started the work), which disabling took it
// from.
class BusyScope
{
public:
    BusyScope(const QList<QWidget *> &controls, bool busyCursor, QWidget *focusAfter = nullptr);
    ~BusyScope();

    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    struct Held {
        QPointer<QWidget> control;
        bool wasEnabled;
    };
    QList<Held> m_held;
    bool m_busyCursor;
    QPointer<QWidget> m_focusAfter;
};
