#include "EventMonitor.h"

void EventMonitor::AddUploadLines(QByteArrayView utf8Lines)
{
    while (!utf8Lines.isEmpty()) {
        const qsizetype end = utf8Lines.indexOf(QByteArrayView("\r\n"));
        AddUploadEvent(QString::fromUtf8(end < 0 ? utf8Lines : utf8Lines.first(end)));
        utf8Lines = end < 0 ? QByteArrayView() : utf8Lines.sliced(end + 2);
    }
}
