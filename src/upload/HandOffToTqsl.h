#pragma once

#include "options/Choices.h"

#include <QString>
#include <QStringList>

// The LoTW upload page with the chosen login, as the browser is given it.
QString UploadPageAddress(const Choices& choices);

// The signed file TQSL writes for an upload file: beside it, with the extension tq8 in place
// of the upload file's own ("LoTWUpload.adi" gives "LoTWUpload.tq8").
QString SignedFilePath(const QString& uploadAdifPath);

// The station location names TQSL's station data file defines, trimmed; empty when the file
// can't be read or holds no names (the answer is then left to TQSL).
QStringList DefinedLocations(const QString& stationFile);

// Why TQSL could not read its station data file when something that is no file stands at its
// path (a folder, a named pipe, a device): TQSL would wait on a pipe for ever. Empty when the
// path holds a file or nothing.
QString StationFileProblem(const QString& stationFile);

// TQSL's folder of private keys: "keys" beside its station data file.
QString TqslKeysFolder(const QString& stationFile);
