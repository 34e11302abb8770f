#pragma once

#include "upload/SignedMatch.h"
#include "upload/TqslRun.h"

#include <QString>
#include <vector>

struct SignedFileUpload;

// What TQSL's answer to an upload file says of each of its records, in the operator's words.
// Plain functions of the upload file's records, the signed file's match and TQSL's outcome.

// TQSL's reason for each record of the file it named, by the record's place (null: none). A
// reason belongs to the record whose lines hold the line TQSL names (its "<EOR>", or the field
// it refused); the empty line after a record belongs to it too.
std::vector<const QString*> ReasonsByRecord(const std::vector<UploadFileRecord>& records, const TqslOutcome& outcome);

// The records TQSL left out because it signed them before.
long SignedBeforeCount(const std::vector<UploadFileRecord>& records, const SignedMatch& match,
                       const TqslOutcome& outcome);

// The places of the records the signed file holds, in file order.
std::vector<size_t> SignedPlaces(const SignedMatch& match);

// The message of a run that TQSL did not sign whole, or of one whose signed QSOs another
// program changed meanwhile: how many were signed, marked and left due, the reasons counted,
// and how to have the QSOs signed before signed again. adifOut: the QSOs of the file; marked:
// those marked as sent; changed: those not marked because another program changed them.
QString PartlySignedText(const std::vector<UploadFileRecord>& records, const SignedMatch& match,
                         const TqslOutcome& outcome, long adifOut, long marked, size_t changed);

// The sentence that tells how to have QSOs TQSL signed before signed again.
QString SignAgainHint(long signedBefore);

// Why a signed file did not reach LoTW: "LoTW rejected it (its message)" ...
QString NotSentReason(const SignedFileUpload& answer);
