// Iterated function system: fractal point clouds built and animated on the model-view stack.
#pragma once

#include "render/render.h"
#include "texture/texture.h"
