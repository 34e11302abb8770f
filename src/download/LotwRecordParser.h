#pragma once

#include "LotwRecord.h"

#include <QByteArrayView>
#include <QString>

class CountyTable;
class EventMonitor;

// Fills a LotwRecord from the tag chunks of a report: the text of one tag without its
// opening "<", up to the next "<" on its line, as Latin-1 bytes.
class LotwRecordParser
{
public:
    LotwRecordParser(CountyTable& counties, EventMonitor& monitor);

    LotwRecord& record() { return m_record; }
    const LotwRecord& record() const { return m_record; }

    // Returns true for the end-of-record tag (in any letter case); otherwise stores a data
    // tag with StoreLotwField and returns false. The declared length of the tag is not used:
    // the value is the text after the first ">", less trailing white space.
    bool ParseTag(QByteArrayView chunk);
    // Stores one field under its normalisation; unknown names are ignored. A later tag of a
    // name overwrites the earlier value.
    void StoreLotwField(QByteArrayView name, const QString& value);

private:
    CountyTable& m_counties;
    EventMonitor& m_monitor;
    LotwRecord m_record;
};
