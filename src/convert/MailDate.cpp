#include "convert/MailDate.h"

#include <QList>
#include <QTimeZone>

#include <algorithm>

namespace {

QByteArray withoutComments(const QByteArray &value)
{
    QByteArray out;
    int depth = 0;
    for (char c : value) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0)
            out += c;
    }
    return out;
}

bool isNumber(const QByteArray &token, int minDigits, int maxDigits)
{
    return token.size() >= minDigits && token.size() <= maxDigits &&
           std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int monthOf(const QByteArray &token)
{
    static const QByteArrayList months = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    return token.size() >= 3 ? int(months.indexOf(token.left(3).toLower())) + 1 : 0;
}

bool isDayName(const QByteArray &token)
{
    static const QByteArrayList days = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    return token.size() >= 3 && days.contains(token.left(3).toLower());
}

int yearOf(const QByteArray &token)
{
    const int year = token.toInt();
    if (token.size() == 2)
        return year < 50 ? 2000 + year : 1900 + year;
    if (token.size() == 3)
        return 1900 + year;
    return year;
}

// Seconds east of UTC; named zones as RFC 5322 lists them, any other name as UTC.
int zoneOffset(QByteArray token)
{
    if (token.size() == 6 && token[3] == ':') // "+05:30", as some mailers write it
        token.remove(3, 1);
    if ((token.startsWith('+') || token.startsWith('-')) && isNumber(token.mid(1), 4, 4)) {
        const int hours = token.mid(1, 2).toInt();
        const int minutes = token.mid(3, 2).toInt();
        return (token[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    static const QList<std::pair<QByteArray, int>> named = {{"edt", -4}, {"est", -5}, {"cdt", -5}, {"cst", -6},
                                                            {"mdt", -6}, {"mst", -7}, {"pdt", -7}, {"pst", -8}};
    for (const auto &[name, hours] : named)
        if (token.toLower() == name)
            return hours * 3600;
    return 0;
}

} // namespace

MailDate parseMailDate(const QByteArray &value)
{
    QList<QByteArray> tokens = withoutComments(value).replace(',', ' ').simplified().split(' ');
    if (!tokens.isEmpty() && isDayName(tokens.front()))
        tokens.removeFirst();
    if (tokens.size() < 4 || tokens.size() > 5)
        return {};
    const QList<QByteArray> clock = tokens[3].split(':');
    const int month = monthOf(tokens[1]);
    if (!isNumber(tokens[0], 1, 2) || month == 0 || !isNumber(tokens[2], 2, 9) || clock.size() < 2 ||
        clock.size() > 3 ||
        !std::all_of(clock.begin(), clock.end(), [](const QByteArray &part) { return isNumber(part, 1, 2); }))
        return {};
    MailDate date;
    date.recognized = true;
    const int year = yearOf(tokens[2]);
    const QDate day(year, month, tokens[0].toInt());
    // A leap second still belongs to its day.
    const int second = clock.size() == 3 ? clock[2].toInt() : 0;
    const QTime time(clock[0].toInt(), clock[1].toInt(), second == 60 ? 59 : second);
    if (year < 1900 || year > 9999 || !day.isValid() || !time.isValid())
        return date;
    const QTimeZone zone(tokens.size() == 5 ? zoneOffset(tokens[4]) : 0);
    // The calendar date in the header's own zone is what names need; keep it even when Qt has
    // no zone for an outlandish offset.
    date.value = QDateTime(day, time, zone.isValid() ? zone : QTimeZone::utc());
    return date;
}
