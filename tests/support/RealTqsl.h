#pragma once

#include "TempDir.h"

#include <QProcess>
#include <QString>
#include <memory>

// Debian's real TQSL, made to sign for a test callsign: a home folder of its own (so that its
// record of signed QSOs starts empty) holding a callsign certificate made for the test, its
// key and one station location, and a program that runs TQSL with that home on a virtual
// display of its own (TQSL needs one even in batch mode). The program becomes TQSL itself, so
// that ending it ends TQSL.
class RealTqsl
{
public:
    struct Certificate
    {
        QString call = QStringLiteral("K1ABC");
        QString qsoFrom = QStringLiteral("1990-01-01"); // the QSO dates it covers
        QString qsoTo = QStringLiteral("2030-12-31");
        QString dxcc = QStringLiteral("291");
        QString location = QStringLiteral("Home QTH");
        QString passphrase;  // none: the key is not protected
        int validDays = 3650; // negative: the certificate expired that many days ago
    };

    // Why the real TQSL can't be used here (not installed, no xvfb-run, no openssl), or empty.
    static QString unavailable();

    RealTqsl();
    explicit RealTqsl(const Certificate& certificate);
    ~RealTqsl();

    // The program to hand to the upload as TQSL.
    QString program() const { return m_program; }
    // TQSL's station data file in its home.
    QString stationFile() const;
    QString home() const { return m_home.path(); }
    // Makes TQSL upload to this address with -u (its configured upload address).
    void setUploadAddress(const QString& url) const;
    // TQSL forgets the QSOs it signed (its record of them is removed).
    void forgetSignedQsos() const;
    // A program that runs TQSL and, once TQSL has ended, has another program (a Python one)
    // hold the SQLite log at logPath with a write lock for the given seconds: the log is busy
    // just when the upload is to mark its QSOs. Written into folder; returns its path.
    QString programThatHoldsTheLogAfterwards(const QString& folder, const QString& logPath, int seconds) const;

private:
    TestDir m_home;
    QString m_program;
    std::unique_ptr<QProcess> m_display;
};
