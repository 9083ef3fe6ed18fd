// The shared linear congruential generator. Bit-exact: the assets depend on its sequence.
#include "support/support_local.h"

uint32_t randomSeed = 0;

static uint32_t advance()
{
    randomSeed = randomSeed * 69069u + 1u;
    return randomSeed;
}

int32_t randomInt15()
{
    return (int32_t)(advance() >> 17);
}

int32_t randomByte()
{
    return (int32_t)(advance() >> 24);
}

float randomUnit()
{
    // The divisor is 4292967296, not 2^32: the largest states give a little over 1.
    return (float)((double)advance() * 2.3293911438173694e-10);
}
