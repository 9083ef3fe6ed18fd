// The scratch pool: a pointer bump over one static 32 MiB block, released stack-wise.
#include "support/support_local.h"

#include "support/upcalls.h"

#include <cstdint>

alignas(16) static unsigned char scratchPool[SCRATCH_POOL_SIZE];
static unsigned char* scratchTop = scratchPool;

void* tempmalloc(uint32_t size)
{
    uintptr_t top = ((uintptr_t)scratchTop + 15u) & ~(uintptr_t)15u;
    scratchTop = (unsigned char*)top;   // the rounding stays even if the request fails
    uintptr_t end = (uintptr_t)(scratchPool + SCRATCH_POOL_SIZE);
    if (end - top < size)
        fatalError("out of tempmalloc");
    void* block = scratchTop;
    scratchTop += size;
    return block;
}

void tmpfree(void* p)
{
    // A pointer below the pool is refused too: it would move the top out of the pool.
    if ((uintptr_t)p > (uintptr_t)scratchTop || (uintptr_t)p < (uintptr_t)scratchPool)
        fatalError("tmpfree error");
    scratchTop = (unsigned char*)p;
}

uint32_t scratchUsed()
{
    return (uint32_t)(scratchTop - scratchPool);
}
