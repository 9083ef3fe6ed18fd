// The timing log: nested sections, one line per section on the standard error stream.
#include "diagnostics/diagnostics_local.h"

#include <chrono>
#include <cstdio>

TimedSection* timedSectionTop = nullptr;
static bool timingLogOn = true;

// Milliseconds since the process started (the first use of the clock stands in for the start,
// which the first timed section or SDL's initialisation reaches within the start-up).
static const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();

int32_t timerNowMs()
{
    auto elapsed = std::chrono::steady_clock::now() - processStart;
    return (int32_t)std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

double timerSecondsSince(int32_t startMs)
{
    return (double)(timerNowMs() - startMs) / 1000.0;
}

void setTimingLog(bool on)
{
    timingLogOn = on;
}

TimedSection* beginTimedSection(const char* name)
{
    TimedSection* section = new TimedSection;
    section->name = name;
    section->outer = timedSectionTop;
    section->start = (double)timerNowMs();
    timedSectionTop = section;
    return section;
}

void endTimedSection(TimedSection* section)
{
    timedSectionTop = section->outer;
    double elapsed = timerSecondsSince((int32_t)section->start);
    if (timingLogOn)
        std::fprintf(stderr, "%s in %.4fs\n", section->name, elapsed);
    delete section;
}
