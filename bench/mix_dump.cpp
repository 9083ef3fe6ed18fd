// Writes the sound library's mixed output of a music file to the standard output as raw 16-bit
// stereo at 44.1 kHz: `bench_mix_dump FILE.ogg SECONDS > out.raw`. Two builds that mix the same
// file to the same bytes play the same sound; tools/reference_capture.sh compares them this way.
#include "music/sound.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE.ogg SECONDS\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND_NONREALTIME);
    if (!FSOUND_Init(44100, 32, 0))
        return 1;
    FSOUND_STREAM* stream =
        FSOUND_Stream_Open(bytes.data(), FSOUND_LOADMEMORY | FSOUND_NORMAL, 0, (int)bytes.size());
    if (!stream) {
        std::fprintf(stderr, "%s: not a playable stream\n", argv[1]);
        return 1;
    }
    int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, true);
    FSOUND_SetPaused(channel, false);
    constexpr int FRAMES = 1024;
    std::vector<int16_t> buffer(FRAMES * 2);
    long buffers = (long)(std::atof(argv[2]) * 44100.0 / FRAMES);
    for (long i = 0; i < buffers; i++) {
        soundMixForTesting(buffer.data(), FRAMES);
        std::fwrite(buffer.data(), sizeof(int16_t), buffer.size(), stdout);
    }
    FSOUND_Stream_Close(stream);
    FSOUND_Close();
    return 0;
}
