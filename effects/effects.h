// Effects: the particle system with its depth sort, particle shadowing, the iterated function
// system, screen-space passes, the glow chain and colour fills.
#pragma once

#include "effects/particles.h"
#include "effects/ifs.h"
#include "effects/screen.h"
