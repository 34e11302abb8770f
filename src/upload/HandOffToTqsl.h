#pragma once

#include "options/Choices.h"
#include "options/Options.h"

class Desktop;
class EventMonitor;

// The LoTW upload page with the chosen login, as the browser is given it.
QString UploadPageAddress(const Choices& choices);

// Hands a finished upload file over: for each signing slot whose operator call is the chosen
// one, in slot order, opens the LoTW upload page, waits two seconds and starts TQSL on the
// file with the slot's location; then ticks the four signing and upload steps. Does nothing
// after a test run or when no record was written.
void HandOffToTqsl(const Options& options, const Choices& choices, long adifOutCount, Desktop& desktop,
                   EventMonitor& monitor);
