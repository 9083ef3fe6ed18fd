// Screen-space passes (image layers, grid warps), the glow chain and colour fills.
#pragma once

#include "render/render.h"
#include "texture/texture.h"
