// The music path: decoding the show's stream, and the clock calls made every frame.
#include "music/sound.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::vector<char>& musicFile()
{
    static const std::vector<char> bytes = [] {
        std::ifstream in(std::string(ORVANTI_BUILD_DIR) + "/data/music.ogg", std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    }();
    return bytes;
}

struct Memory {
    const std::vector<char>* bytes;
    size_t position;
};

size_t readMemory(void* out, size_t size, size_t count, void* source)
{
    Memory* m = static_cast<Memory*>(source);
    size_t n = size ? std::min(count, (m->bytes->size() - m->position) / size) : 0;
    std::memcpy(out, m->bytes->data() + m->position, n * size);
    m->position += n * size;
    return n;
}

int seekMemory(void* source, ogg_int64_t offset, int whence)
{
    Memory* m = static_cast<Memory*>(source);
    long long base = whence == SEEK_SET   ? 0
                     : whence == SEEK_CUR ? (long long)m->position
                                          : (long long)m->bytes->size();
    if (base + offset < 0 || base + offset > (long long)m->bytes->size())
        return -1;
    m->position = (size_t)(base + offset);
    return 0;
}

long tellMemory(void* source)
{
    return (long)static_cast<Memory*>(source)->position;
}

// Ten seconds of the show's music decoded to 16-bit stereo, as the output thread does it.
void BM_decodeTenSeconds(benchmark::State& state)
{
    if (musicFile().empty()) {
        state.SkipWithError("no data/music.ogg: build the data set first");
        return;
    }
    std::vector<char> pcm(4096);
    for (auto _ : state) {
        Memory memory{&musicFile(), 0};
        OggVorbis_File vorbis;
        ov_open_callbacks(&memory, &vorbis, nullptr, 0,
                          ov_callbacks{readMemory, seekMemory, nullptr, tellMemory});
        long rate = ov_info(&vorbis, -1)->rate;
        long long frames = 0;
        int section = 0;
        while (frames < rate * 10) {
            long got = ov_read(&vorbis, pcm.data(), (int)pcm.size(), 0, 2, 1, &section);
            if (got <= 0)
                break;
            frames += got / 4;
        }
        ov_clear(&vorbis);
        benchmark::DoNotOptimize(frames);
    }
    // Seconds of music decoded per second of work: how many times faster than it plays.
    state.counters["times_real_time"] =
        benchmark::Counter((double)state.iterations() * 10.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_decodeTenSeconds)->Unit(benchmark::kMillisecond);

// A playing stream on the null output, for the per-frame clock calls.
struct PlayingMusic {
    FSOUND_STREAM* stream = nullptr;
    PlayingMusic()
    {
        FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND);
        FSOUND_Init(44100, 32, FSOUND_INIT_ACCURATEVULEVELS);
        stream = FSOUND_Stream_Open(musicFile().data(), FSOUND_NORMAL | FSOUND_LOADMEMORY, 0,
                                    (int)musicFile().size());
        int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, true);
        FSOUND_SetPaused(channel, false);
    }
    ~PlayingMusic()
    {
        FSOUND_Stream_Close(stream);
        FSOUND_Close();
    }
};

void BM_getTime(benchmark::State& state)
{
    PlayingMusic music;
    if (!music.stream) {
        state.SkipWithError("the music stream did not open");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(FSOUND_Stream_GetTime(music.stream));
}
BENCHMARK(BM_getTime);

// The hold seeks every frame; Page Up and Page Down seek too.
void BM_setTime(benchmark::State& state)
{
    PlayingMusic music;
    if (!music.stream) {
        state.SkipWithError("the music stream did not open");
        return;
    }
    int ms = 0;
    for (auto _ : state) {
        FSOUND_Stream_SetTime(music.stream, 60000 + ms);
        ms = (ms + 4801) % 100000;
    }
}
BENCHMARK(BM_setTime)->Unit(benchmark::kMicrosecond);

}   // namespace
