// Times the demo generator and one walk of the whole log through the QSO recordset.
// usage: ScanBench [QSOS] [FOLDER]

#include "demo/DemoData.h"
#include "logdb/CQSO2006SRC.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 qsos = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    const QString log = folder + QStringLiteral("/scanbench-%1.sqlite").arg(qsos);

    QElapsedTimer timer;
    timer.start();
    if (!QFile::exists(log))
        DemoData::writeLog(log, qsos, 1);
    std::printf("generate %lld QSOs: %.2f s\n", static_cast<long long>(qsos), double(timer.elapsed()) / 1000.0);

    timer.restart();
    CQSO2006SRC qso(log);
    qso.open();
    qint64 rows = 0;
    qint64 selected = 0;
    for (; !qso.isEOF(); qso.moveNext()) {
        ++rows;
        if (qso.qsoQsls == QLatin1String("0") || qso.qsoQsls == QLatin1String("1"))
            ++selected;
    }
    std::printf("walk %lld rows (41 columns, %lld due for upload): %.2f s\n", static_cast<long long>(rows),
                static_cast<long long>(selected), double(timer.elapsed()) / 1000.0);
    return 0;
}
