#pragma once

#include "platform/EventMonitor.h"

struct Choices;

// What the form monitor shows on the form itself, besides its two monitor boxes: the
// counters, the step markers and the choices. The form view provides it.
class FormSurface
{
public:
    virtual ~FormSurface() = default;
    // Shows the known counters ("%ld"), then the choices as they stand (the form's refresh).
    virtual void showCounters(const RunCounters& counters) = 0;
    virtual void showStepIcon(Step step, StepIcon icon) = 0;
    // Takes choices as the ones the form holds (a run's, which it may have changed).
    virtual void takeChoices(const Choices& choices) = 0;
};
