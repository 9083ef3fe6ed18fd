// Render-state presets.
#include "render/render.h"

const ClearColour defaultClearColour = {0.0f, 0.0f, 0.0f, 1.0f};
