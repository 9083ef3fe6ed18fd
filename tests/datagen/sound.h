// Decoding and measuring the generated music for the data tests: band-limited energy
// envelopes and onset search on the beat grid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedSound {
    int rate = 0, channels = 0;
    std::vector<float> mono;   // (left + right) / 2
    std::string error;
};
DecodedSound decodeOgg(const std::string& path);

// Energy of a band of the signal in hops of `hop` samples, each over a window of 2 hops.
// The band is a second-order low-pass (highHz = 0: none) after a second-order high-pass
// (lowHz = 0: none).
std::vector<float> bandEnergy(const std::vector<float>& signal, int rate, float lowHz, float highHz,
                              int hop);

struct Onset {
    bool found = false;
    double time = 0;   // seconds
    float rise = 0;    // energy after / energy before
};
// The strongest rise of the energy within ±search seconds of `at`.
Onset onsetNear(const std::vector<float>& energy, int rate, int hop, double at, double search);
