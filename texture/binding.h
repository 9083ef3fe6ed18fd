// Texture units, binding, coordinate generation and screen copy.
#pragma once

#include <cstdint>

struct Texture;
