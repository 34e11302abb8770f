#include "SigningReport.h"

#include "lotw/SignedFileUpload.h"

#include <QMap>

#include <algorithm>

std::vector<const QString*> ReasonsByRecord(const std::vector<UploadFileRecord>& records, const TqslOutcome& outcome)
{
    std::vector<const QString*> reasons(records.size(), nullptr);
    for (const auto& [line, reason] : outcome.reasonsByLine) {
        auto after = std::upper_bound(records.begin(), records.end(), line,
                                      [](qint64 l, const UploadFileRecord& r) { return l < r.firstLine; });
        if (after == records.begin())
            continue;
        const auto record = after - 1;
        if (line <= record->lastLine + 1) {
            const size_t place = size_t(record - records.begin());
            if (!reasons[place])
                reasons[place] = &reason;
        }
    }
    return reasons;
}

long SignedBeforeCount(const std::vector<UploadFileRecord>& records, const SignedMatch& match,
                       const TqslOutcome& outcome)
{
    const std::vector<const QString*> reasons = ReasonsByRecord(records, outcome);
    long count = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (!match.isSigned[i] && reasons[i] && IsSignedBeforeReason(*reasons[i]))
            ++count;
    }
    return count;
}

std::vector<size_t> SignedPlaces(const SignedMatch& match)
{
    std::vector<size_t> places;
    for (size_t i = 0; i < match.isSigned.size(); ++i) {
        if (match.isSigned[i])
            places.push_back(i);
    }
    return places;
}

QString SignAgainHint(long signedBefore)
{
    return QStringLiteral("\nTQSL signed %1 of them before; to have them signed again, answer Yes when asked (the "
                          "batch command: upload --sign-again).")
        .arg(signedBefore);
}

QString PartlySignedText(const std::vector<UploadFileRecord>& records, const SignedMatch& match,
                         const TqslOutcome& outcome, long adifOut, long marked, size_t changed)
{
    const long leftDue = adifOut - long(match.signedCount);
    QString text = QStringLiteral("TQSL signed %1 of the %2 QSOs of the upload file; %3 are marked as sent.")
                       .arg(match.signedCount)
                       .arg(adifOut)
                       .arg(marked);
    if (leftDue > 0) {
        text += QStringLiteral("\n%1 QSOs were not signed and stay due (each is listed in the upload monitor and the "
                               "error file):")
                    .arg(leftDue);
        QMap<QString, long> byReason;
        const std::vector<const QString*> reasons = ReasonsByRecord(records, outcome);
        for (size_t i = 0; i < records.size(); ++i) {
            if (!match.isSigned[i])
                ++byReason[reasons[i] ? *reasons[i] : QStringLiteral("TQSL gave no reason")];
        }
        for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
            text += QStringLiteral("\n  %1: %2").arg(it.key()).arg(it.value());
        const long signedEarlier = SignedBeforeCount(records, match, outcome);
        if (signedEarlier > 0)
            text += SignAgainHint(signedEarlier);
    }
    if (changed > 0)
        text += QStringLiteral("\n%1 signed QSOs were changed by another program meanwhile and are not marked.")
                    .arg(changed);
    return text;
}

QString NotSentReason(const SignedFileUpload& answer)
{
    QString why;
    switch (answer.result) {
    case SignedFileUpload::Result::Rejected:
        why = QStringLiteral("LoTW rejected it");
        break;
    case SignedFileUpload::Result::Unexpected:
        why = QStringLiteral("LoTW gave an unexpected answer");
        break;
    case SignedFileUpload::Result::Stopped:
        why = QStringLiteral("the sending was stopped");
        break;
    default:
        why = QStringLiteral("LoTW could not be reached");
        break;
    }
    if (!answer.message.isEmpty())
        why += QStringLiteral(" (%1)").arg(answer.message);
    return why;
}
