// Diagnostics: the timing log. Timed sections nest; each prints "<name> in <seconds>s" on the
// standard error stream when it closes, innermost first. The clock has millisecond resolution.
#pragma once

#include <cstdint>

struct TimedSection;   // one open section; diagnostics/diagnostics_local.h

TimedSection* beginTimedSection(const char* name);
void endTimedSection(TimedSection* section);
// Off (--quiet): sections are still timed, but no line is written.
void setTimingLog(bool on);
