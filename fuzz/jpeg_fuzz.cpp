// libFuzzer target: any bytes as a JPEG file, through decoding and the alpha assembly.
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzJpegInput(data, size);
    return 0;
}
