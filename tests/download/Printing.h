#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toLatin1().toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << "{\n";
    for (const QString& text : list)
        *os << "  \"" << text.toLatin1().toStdString() << "\"\n";
    *os << "}";
}
