// Meshes (model, normals, display lists, generators) and the blob surface generator.
#pragma once

#include "support/support.h"

#include <cstdint>
