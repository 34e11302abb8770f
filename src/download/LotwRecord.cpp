#include "LotwRecord.h"

void ClearLotwRecord(LotwRecord& record)
{
    record = LotwRecord();
}
