// Interim show clock on the wall clock, until the music stream drives it.
#include "music/music.h"

#include "app/app.h"

#include <SDL.h>

#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <vector>

float musicTempo = 125.0f;
float heldTime = 0.0f;
static Uint32 clockStart = 0;
static double clockOffsetMs = 0.0;

void openMusic(const char* fileName, float tempo, int)
{
    musicTempo = tempo;
    if (FILE* f = std::fopen(fileName, "rb")) {
        std::fclose(f);
    } else {
        char text[1024];
        std::snprintf(text, sizeof text, "%s not found", fileName);
        fatalError(text);
    }
    clockStart = SDL_GetTicks();
}

namespace {

struct CaptureClock {
    bool active = false;
    double time = 0.0;
    double lengthSeconds = 0.0;
};
CaptureClock capture;

struct MemoryReader {
    const std::vector<unsigned char>* bytes;
    size_t at;
};

size_t readMemory(void* into, size_t size, size_t count, void* source)
{
    MemoryReader* r = (MemoryReader*)source;
    size_t want = size * count, left = r->bytes->size() - r->at;
    size_t n = want < left ? want : left;
    std::memcpy(into, r->bytes->data() + r->at, n);
    r->at += n;
    return size ? n / size : 0;
}

}   // namespace

void openMusicForCapture(const char* fileName, float tempo)
{
    musicTempo = tempo;
    FILE* f = std::fopen(fileName, "rb");
    if (!f) {
        char text[1024];
        std::snprintf(text, sizeof text, "%s not found", fileName);
        fatalError(text);
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    MemoryReader reader{&bytes, 0};
    ov_callbacks callbacks = {readMemory, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&reader, &vf, nullptr, 0, callbacks) != 0) {
        char text[1200];
        std::snprintf(text, sizeof text, "%s: not an Ogg Vorbis stream", fileName);
        fatalError(text);
    }
    // Without seeking the length comes from decoding to the end.
    double seconds = 0.0;
    vorbis_info* info = ov_info(&vf, -1);
    float** pcm;
    int section;
    long got;
    while ((got = ov_read_float(&vf, &pcm, 4096, &section)) > 0)
        seconds += (double)got / info->rate;
    ov_clear(&vf);
    capture.active = true;
    capture.lengthSeconds = seconds;
    capture.time = 0.0;
}

void setCaptureTime(double patterns)
{
    capture.time = patterns;
}

double musicLengthPatterns()
{
    return capture.lengthSeconds / 60.0 * musicTempo / 16.0;
}

float showTime()
{
    if (capture.active)
        return (float)capture.time;
    double ms = (double)(SDL_GetTicks() - clockStart) + clockOffsetMs;
    return (float)(ms / 60000.0 * musicTempo / 16.0);
}

void seekShowTime(float p)
{
    clockStart = SDL_GetTicks();
    clockOffsetMs = (double)(int32_t)((double)p * 16.0 / musicTempo * 60000.0);
}

void closeMusic() {}
