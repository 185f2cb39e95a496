#pragma once

#include <QHash>
#include <QList>
#include <QString>

// An ordered list whose entries also carry a unique text key. Positions count from 1.
template <typename T>
class KeyedList
{
public:
    // False, and nothing added, when the key is taken already.
    bool add(const QString &key, const T &value)
    {
        if (m_positions.contains(key))
            return false;
        m_values.append(value);
        m_keys.append(key);
        m_positions.insert(key, m_values.size());
        return true;
    }
    qsizetype count() const { return m_values.size(); }
    const T &item(qsizetype position) const { return m_values.at(position - 1); }
    const QString &key(qsizetype position) const { return m_keys.at(position - 1); }
    const QList<T> &values() const { return m_values; }

private:
    QList<T> m_values;
    QList<QString> m_keys;
    QHash<QString, qsizetype> m_positions;
};
