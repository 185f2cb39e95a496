#pragma once

#include <QByteArray>
#include <QDateTime>

// A Date header read as RFC 5322 writes it, obsolete forms included: two-digit years (00-49
// are 20xx, 50-99 19xx), three-digit years (+1900), a leap second, named and military zones,
// comments. Years from 1900 to 9999 are accepted.
struct MailDate {
    bool recognized = false; // the value has the RFC's shape
    QDateTime value;         // in the header's own zone; invalid when no such day or year
};

MailDate parseMailDate(const QByteArray &value);
