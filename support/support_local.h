// What support/ and its tests share beyond support/support.h.
#pragma once

#include "support/support.h"

#include <cstdint>

int32_t clampByte(int32_t i);
int32_t wrapIndex(int32_t i, int32_t n);

constexpr uint32_t SCRATCH_POOL_SIZE = 33554432;
