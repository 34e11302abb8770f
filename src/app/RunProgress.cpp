#include "RunProgress.h"

#include <QLocale>

namespace {

QString count(qint64 value)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(value);
}

// Bytes in the unit that suits the total: KB below a megabyte, MB (one decimal) above.
QString bytes(qint64 value, qint64 scale)
{
    if (scale < 1000000)
        return count((value + 500) / 1000);
    return QString::number(double(value) / 1e6, 'f', 1);
}

QString byteUnit(qint64 scale)
{
    return scale < 1000000 ? QStringLiteral("KB") : QStringLiteral("MB");
}

QString duration(qint64 seconds)
{
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString ProgressText(const QString& title, ProgressUnit unit, qint64 done, qint64 total, qint64 elapsedMs,
                     qint64 doneBefore)
{
    if (unit == ProgressUnit::Download) {
        if (done <= 0)
            return title + QStringLiteral(": waiting for LoTW (") + duration(elapsedMs / 1000) + QLatin1Char(')');
        QString text = title + QStringLiteral(": ") + bytes(done, total > 0 ? total : done);
        if (total > 0)
            text += QStringLiteral(" of ") + bytes(total, total);
        return text + QLatin1Char(' ') + byteUnit(total > 0 ? total : done) + QStringLiteral(" received from LoTW");
    }
    if (unit == ProgressUnit::None || (done <= 0 && total <= 0))
        return title + QStringLiteral(" running");
    done = qMax<qint64>(0, done);
    const bool known = total > 0;
    QString text = title + QStringLiteral(": ");
    const qint64 scale = known ? total : done;
    if (known && done >= total) {
        // The run may still be busy for a while (waiting for TQSL, marking the log).
        if (unit == ProgressUnit::Qsos)
            return text + QStringLiteral("all ") + count(total) + QStringLiteral(" QSOs read, finishing");
        if (unit == ProgressUnit::Rows)
            return text + QStringLiteral("all ") + count(total) + QStringLiteral(" rows written, finishing");
        return text + QStringLiteral("all of the ") + bytes(total, scale) + QLatin1Char(' ') + byteUnit(scale)
               + QStringLiteral(" report read, finishing");
    }
    if (unit == ProgressUnit::Qsos || unit == ProgressUnit::Rows) {
        text += count(done);
        if (known)
            text += QStringLiteral(" of ") + count(total);
        text += unit == ProgressUnit::Qsos ? QStringLiteral(" QSOs read") : QStringLiteral(" rows written");
    } else {
        text += bytes(done, scale);
        if (known)
            text += QStringLiteral(" of ") + bytes(total, scale);
        text += QLatin1Char(' ') + byteUnit(scale) + QStringLiteral(" of the report read");
    }
    doneBefore = qBound<qint64>(0, doneBefore, done);
    if (elapsedMs >= 1000 && done > doneBefore) {
        const double perSecond = double(done - doneBefore) * 1000.0 / double(elapsedMs);
        if (unit == ProgressUnit::Qsos)
            text += QStringLiteral(", ") + count(qint64(perSecond + 0.5)) + QStringLiteral(" QSOs/s");
        else if (unit == ProgressUnit::Rows)
            text += QStringLiteral(", ") + count(qint64(perSecond + 0.5)) + QStringLiteral(" rows/s");
        else
            text += QStringLiteral(", ") + bytes(qint64(perSecond), scale) + QLatin1Char(' ') + byteUnit(scale)
                    + QStringLiteral("/s");
        if (known)
            text += QStringLiteral(", ") + duration(qint64(double(total - done) / perSecond + 0.5))
                    + QStringLiteral(" left");
    }
    return text;
}

int ProgressPermille(qint64 done, qint64 total)
{
    if (total <= 0)
        return -1;
    if (done <= 0)
        return 0;
    if (done >= total)
        return 1000;
    return int(double(done) * 1000.0 / double(total));
}
