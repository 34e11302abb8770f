#include "LotwRecord.h"

#include "LotwFieldRules.h"

void ClearLotwRecord(LotwRecord& record)
{
    // Emptied in place: the texts keep their buffers for the next record.
    for (QString* field : {&record.call, &record.qsoDate, &record.timeOn, &record.bandCode, &record.modeCode,
                           &record.state, &record.cqZone, &record.ituZone, &record.iota, &record.grid,
                           &record.county, &record.stationCall, &record.qslDate, &record.dxccCredit,
                           &record.vuccCredit, &record.wpxCredit, &record.ownCall, &record.dxcc,
                           &record.modeName, &record.submodeName})
        ReportBytes::Clear(*field);
}
