// libFuzzer target: any bytes as a music stream, opened, sought and mixed to its end.
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzMusicInput(data, size);
    return 0;
}
