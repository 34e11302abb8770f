#include "Profile.h"

#include <QFile>

// A small reader of INI-style files with the rules of the Windows profile functions: section
// and key names compare without regard to case, blanks around names and values are dropped,
// a value in matching quotes loses them, and backslashes are kept as they stand (Windows paths).
// QSettings is not used here because it takes backslashes in values as escapes.
// The file's bytes are text in the system's 8-bit code page on Windows, as the profile
// functions read it there (DXbase writes it so); elsewhere one character a byte.
QString IniProfile::readString(const QString& path, const QString& section, const QString& key,
                               const QString& defaultValue) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue.left(511);
    bool inSection = false;
    while (!file.atEnd()) {
#ifdef Q_OS_WIN
        const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
#else
        const QString line = QString::fromLatin1(file.readLine()).trimmed();
#endif
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2
            && ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                || (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\''))))) {
            value = value.mid(1, value.size() - 2);
        }
        return value.left(511);
    }
    return defaultValue.left(511);
}
