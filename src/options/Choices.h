#pragma once

#include <QString>

// The operator's choices on the form, as the operations read them when they start.
struct Choices
{
    QString SigningCall;      // operator call whose station signs the upload
    QString CurrentLoginCall; // login= of the LoTW addresses
    QString CurrentPassword;  // password= of the LoTW addresses (encoded)
    QString DownloadCall;     // qso_owncall= of the report address
    bool AnyCall = false;     // true: no own call is requested
    int ReportRange = -1;     // 0 all QSLs, 1 only since the saved date, -1 none selected
    int SinceChoice = -1;     // 0 when "Only fm last QSL >" is selected, else -1
    int ImportScope = 1;      // 0 all records, 1 only records not yet confirmed by LoTW
    int OverwriteChoice = 1;  // 0 overwrite the location fields, 1 keep them
    bool TestOnly = false;    // true: an upload writes no file and changes no row
    bool TqslUpload = false;  // true: TQSL uploads the signed file to LoTW itself
    QString sinceDate;        // the date edit: "since" date of the report request
    bool ImportAtOnce = true;    // the report request runs the import once the report is saved
    bool BrowserInstead = false; // the report request opens the address in the browser instead
    bool RedueMissing = false;   // "Check LoTW" makes the QSOs LoTW does not hold due again
};
