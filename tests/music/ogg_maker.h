// Short Ogg Vorbis streams made in the test: clicks on every half second over silence, or a
// steady tone, on chosen channels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StreamRecipe {
    double seconds = 1.0;
    long rate = 44100;
    int channels = 2;
    float quality = 0.1f;   // VBR quality: below 0 long blocks of 4096 samples, down to -0.1
    double toneHz = 0.0;    // 0: clicks
    unsigned soundChannels = ~0u;   // bit c set: channel c carries the sound, else silence
};

std::vector<unsigned char> makeStream(const StreamRecipe& recipe);
inline std::vector<unsigned char> makeClickStream(double seconds, long rate = 44100,
                                                  int channels = 2)
{
    return makeStream({seconds, rate, channels});
}
// The stream's length in frames as libvorbisfile reads it (ov_pcm_total).
int64_t streamFrames(const std::vector<unsigned char>& bytes);
// Writes the bytes to a file; returns its path.
std::string writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
