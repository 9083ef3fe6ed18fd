// The fuzz targets' work on one input (see fuzz_inputs.h).
#include "fuzz/fuzz_inputs.h"

#include "app/app.h"
#include "music/sound.h"
#include "texture/texture_local.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int MIX_FRAMES = 1024;
constexpr int MIX_RATE = 44100;

int32_t paddedSide(int32_t side)
{
    return side <= 1 ? 1 : nextPowerOfTwo(side);
}

int endCalls = 0;

signed char countEnd(FSOUND_STREAM*, void* buffer, int, void*)
{
    if (!buffer)
        endCalls++;
    return true;
}

}   // namespace

bool fuzzJpegInput(const uint8_t* data, size_t size)
{
    char error[1024] = "";
    int32_t w = 0, h = 0;
    uint8_t* rgb = decodeJpegMemory(data, size, &w, &h, error);
    if (!rgb) {
        if (!error[0])
            std::abort();
        return false;
    }
    if (w <= 0 || h <= 0)
        std::abort();
    int32_t W = paddedSide(w), H = paddedSide(h);
    if (W > 0 && H > 0) {
        std::vector<uint8_t> canvas((size_t)W * H * 4, 255);
        int source = (int)(size % 4);
        const uint8_t* mask = source == 1 ? rgb : nullptr;
        AlphaFunction alpha = source == 2 ? alphaMean : source == 3 ? alphaGreyDistance : nullptr;
        assembleRGBA(canvas.data(), W * 4, rgb, mask, alpha, w, h, (int)((size / 4) % 2));
    }
    if (w == h && w >= 4 && w <= 64 && (w & (w - 1)) == 0) {
        std::vector<uint8_t> sprite((size_t)w * h * 4, 0);
        std::vector<uint8_t> atlas((size_t)4 * w * h * 4, 0);
        assembleRGBA(sprite.data(), w * 4, rgb, rgb, nullptr, w, h, 0);
        buildBlurAtlas(atlas.data(), 2 * w * 4, 0, sprite.data(), w, h);
    }
    std::free(rgb);
    return true;
}

bool fuzzMusicInput(const uint8_t* data, size_t size)
{
    static const bool initialised = [] {
        FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND_NONREALTIME);
        return FSOUND_Init(MIX_RATE, 32, FSOUND_INIT_ACCURATEVULEVELS) != 0;
    }();
    if (!initialised)
        std::abort();
    if (size < 1)
        return false;
    const uint8_t options = data[0];
    const bool loop = (options & 1) != 0;
    const int seeks = (options >> 1) & 7;
    // A block of exactly the stream's size, so that any read past its end is caught.
    std::vector<char> bytes(data + 1, data + size);
    unsigned mode = FSOUND_LOADMEMORY | (loop ? FSOUND_LOOP_NORMAL : FSOUND_NORMAL);
    FSOUND_STREAM* stream =
        FSOUND_Stream_Open(bytes.empty() ? "" : bytes.data(), mode, 0, (int)bytes.size());
    if (!stream) {
        if (FSOUND_GetError() == FMOD_ERR_NONE)
            std::abort();
        return false;
    }
    endCalls = 0;
    FSOUND_Stream_SetEndCallback(stream, countEnd, nullptr);
    int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, true);
    FSOUND_SetPaused(channel, false);
    long lengthMs = std::max(FSOUND_Stream_GetLengthMs(stream), 0);
    const long rate = soundStreamCountsForTesting(stream).rate;
    const long upsampling = std::max(1L, (MIX_RATE + rate - 1) / rate);

    // Buffers a whole pass may take: by the stated length, or by what the bytes could hold at
    // most (a packet of two bytes decodes to at most 4096 frames), converted to the mix rate.
    long pass = std::max(lengthMs * MIX_RATE / 1000 / MIX_FRAMES,
                         (long)bytes.size() * 2048 * upsampling / MIX_FRAMES) +
                16;
    pass = std::min(pass, 1L << 20);
    long budget = loop ? std::min(2 * pass, 600L) : pass * (seeks + 1);
    std::vector<int16_t> out(MIX_FRAMES * 2);
    int seeksDone = 0;
    for (long i = 0; i < budget && endCalls == 0; i++) {
        if (seeksDone < seeks && i == (long)(seeksDone + 1) * 3) {
            int target = (int)(lengthMs * ((seeksDone * 37 + options) % 101) / 100);
            FSOUND_Stream_SetTime(stream, target);
            seeksDone++;
        }
        soundMixForTesting(out.data(), MIX_FRAMES);
        int ms = FSOUND_Stream_GetTime(stream);
        if (ms < 0 || ms > lengthMs + 1)
            std::abort();
    }
    if (!loop) {
        // Ended, and ended once: the buffers after the end call nothing again.
        for (int i = 0; i < 4; i++)
            soundMixForTesting(out.data(), MIX_FRAMES);
        if (endCalls != 1)
            std::abort();
        // Every frame decoded since the last seek reached the mix: one for one at the mix rate,
        // as many as the rates' ratio makes of them otherwise.
        SoundStreamCounts counts = soundStreamCountsForTesting(stream);
        double expected = (double)counts.decodedFrames * MIX_RATE / (double)rate;
        if (std::fabs((double)counts.mixedFrames - expected) > (rate == MIX_RATE ? 0.0 : 2.0))
            std::abort();
    }
    FSOUND_Stream_Close(stream);
    return true;
}
