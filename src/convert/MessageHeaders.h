#pragma once

#include <QDateTime>
#include <QString>

// The three header values that names are made of. The naming code asks only for the values
// its scheme needs, in the scheme's order.
class MessageHeaders
{
public:
    virtual ~MessageHeaders() = default;
    virtual QDateTime GetDate() = 0;
    virtual QString GetSubject() = 0;
    virtual QString GetFrom() = 0;
};
