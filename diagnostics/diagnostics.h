// Diagnostics: the timing log. Timed sections nest; each prints "<name> in <seconds>s" on the
// standard error stream when it closes, innermost first. The clock has millisecond resolution.
#pragma once

#include <cstdint>

struct TimedSection {
    const char* name;
    TimedSection* outer;
    double start;   // milliseconds since process start
};

extern TimedSection* timedSectionTop;

int32_t timerNowMs();
double timerSecondsSince(int32_t startMs);
TimedSection* beginTimedSection(const char* name);
void endTimedSection(TimedSection* section);
