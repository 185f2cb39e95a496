#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>

// The tables that the command line and the window read (naming schemes, layouts, output formats)
// each give a row a command-line `name`; these find rows by it.

// The rows' names, in table order.
template <typename Row, std::size_t N>
QStringList rowNames(const Row (&rows)[N])
{
    QStringList names;
    for (const Row &row : rows)
        names.append(QString(row.name));
    return names;
}

// The row of that name; null when none has it.
template <typename Row, std::size_t N>
const Row *rowNamed(const Row (&rows)[N], const QString &name)
{
    for (const Row &row : rows)
        if (name == row.name)
            return &row;
    return nullptr;
}
