// What diagnostics/ and its tests share beyond diagnostics/diagnostics.h: the section stack and
// the millisecond clock behind it.
#pragma once

#include "diagnostics/diagnostics.h"

#include <cstdint>

struct TimedSection {
    const char* name;
    TimedSection* outer;
    double start;   // milliseconds since process start
};

extern TimedSection* timedSectionTop;

int32_t timerNowMs();
double timerSecondsSince(int32_t startMs);
