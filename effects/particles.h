// Particle system with depth sort, particle shadowing and mesh particles.
#pragma once

#include "render/render.h"
#include "texture/texture.h"
