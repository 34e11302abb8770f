#include "QslDateFile.h"

#include "FieldFile.h"

#include <QFile>
#include <QSaveFile>
#include <limits>

namespace {
int toInt(long long value)
{
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}
}

bool LoadQslDateFile(const QString& path, SavedQslDates& dates)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (!ReadNumberLine(file))
        return false;
    if (!ReadField(file, dates.date))
        return false;

    int* const targets[12] = {&dates.reportRange, &dates.sinceChoice, &dates.importScope,
                              &dates.overwriteChoice, &dates.reserved[0], &dates.reserved[1],
                              &dates.reserved[2], &dates.reserved[3], &dates.reserved[4],
                              &dates.reserved[5], &dates.reserved[6], &dates.reserved[7]};
    for (int i = 0; i < 12; ++i) {
        if (i > 0) {
            char c;
            if (!file.getChar(&c) || c != ':')
                return false;
        }
        long long value = 0;
        if (!ReadInteger(file, value))
            return false;
        *targets[i] = toInt(value);
    }
    return true;
}

bool SaveQslDateFile(const QString& path, const SavedQslDates& dates)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!WriteNumberLine(file, 1) || !WriteField(file, dates.date.left(kMaxQslDateLength))) {
        file.cancelWriting();
        return false;
    }
    QByteArray numbers = QByteArray::number(dates.reportRange) + ':'
                         + QByteArray::number(dates.sinceChoice) + ':'
                         + QByteArray::number(dates.importScope) + ':'
                         + QByteArray::number(dates.overwriteChoice);
    for (int i = 0; i < 8; ++i)
        numbers += ":0"; // reserved numbers are always written as 0
    numbers += "\r\n";
    if (file.write(numbers) != numbers.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
