#pragma once

#include "TqslRun.h"
#include "options/Choices.h"
#include "options/Options.h"

class Desktop;
class EventMonitor;

// The LoTW upload page with the chosen login, as the browser is given it.
QString UploadPageAddress(const Choices& choices);

// What the hand-off of a finished upload file came to.
struct HandOffResult
{
    bool attempted = false;  // false after a test run or when no record was written
    bool signedFile = false; // TQSL signed the file for every station of the signing call
    bool someSkipped = false; // TQSL skipped QSOs it had signed before or outside the certificate's dates
    bool pageOpened = false; // the LoTW upload page was opened in the browser
    // Why the file was not signed (empty when it was), and TQSL's own last words about it.
    QString failure;
    QStringList tqslLines;
    int tqslStatus = -1;
    // Why the upload page could not be opened (empty when it was, or when it was not needed).
    QString pageFailure;
};

// Hands a finished upload file to TQSL and watches it: for each signing slot whose operator
// call is the chosen one, in slot order, TQSL signs the file with the slot's location (its
// output goes to the upload monitor; a location that TQSL's station file does not define is
// never handed to it) and the next slot's run starts only after this one signed. When every
// run signed, the signing steps get their ticks, and the LoTW upload page is opened, unless
// TQSL uploaded the signed file itself (choices.TqslUpload). A failed step gets the red arrow.
// Does nothing after a test run or when no record was written.
//
// stationFile: TQSL's station data file, empty when it is not known.
HandOffResult HandOffToTqsl(const Options& options, const Choices& choices, long adifOutCount, Desktop& desktop,
                            EventMonitor& monitor, const QString& stationFile = QString());
