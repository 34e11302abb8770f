#pragma once

#include "platform/EventMonitor.h"

// The resource numbers of the form's monitors, counters and step markers, and of the status
// icons; the operations name them by what they are (Counter, Step, StepIcon), the window by
// these numbers (each control carries its number as the property "controlId").
namespace Control {
enum : int {
    UploadMonitor = 1001,
    DownloadMonitor = 1048,
    UploadReadIn = 1050,
    UploadAdifOut = 1053,
    DownloadReadIn = 1055,
    DownloadRecsUsed = 1056,
    DownloadErrors = 1058,
    DownloadNewDxcc = 1060,
    DownloadWarnings = 1107,
    StepMakeAdif = 1099,
    StepSignAdif = 1100,
    StepMakeTq8 = 1101,
    StepClipboard = 1102,
    StepUpload = 1103,
    StepDownload = 1104,
    ProblemPointer = 1108,
};
}

// The status icons' resource numbers.
namespace IconId {
enum : int { Blank = 140, Tick = 141, RedArrow = 142 };
}

// The static that shows a counter.
constexpr int ControlOf(Counter counter)
{
    switch (counter) {
    case Counter::UploadReadIn: return Control::UploadReadIn;
    case Counter::UploadAdifOut: return Control::UploadAdifOut;
    case Counter::DownloadReadIn: return Control::DownloadReadIn;
    case Counter::DownloadRecsUsed: return Control::DownloadRecsUsed;
    case Counter::DownloadErrors: return Control::DownloadErrors;
    case Counter::DownloadNewDxcc: return Control::DownloadNewDxcc;
    case Counter::DownloadWarnings: return Control::DownloadWarnings;
    }
    return 0;
}

// The icon static of a step marker.
constexpr int ControlOf(Step step)
{
    switch (step) {
    case Step::MakeAdif: return Control::StepMakeAdif;
    case Step::SignAdif: return Control::StepSignAdif;
    case Step::MakeTq8: return Control::StepMakeTq8;
    case Step::Clipboard: return Control::StepClipboard;
    case Step::Upload: return Control::StepUpload;
    case Step::Download: return Control::StepDownload;
    case Step::ProblemPointer: return Control::ProblemPointer;
    }
    return 0;
}

constexpr int IconIdOf(StepIcon icon)
{
    switch (icon) {
    case StepIcon::Blank: return IconId::Blank;
    case StepIcon::Tick: return IconId::Tick;
    case StepIcon::RedArrow: return IconId::RedArrow;
    }
    return IconId::Blank;
}
