// The generated music: format, length, the kick on the beat grid, tick accents, the fade.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <vorbis/vorbisfile.h>

#include "common/test_support.h"
#include "show/show_tables.h"
#include "support/data_files.h"

namespace {

constexpr int RATE = 44100;
constexpr double BEAT_SECONDS = 60.0 / SHOW_TEMPO;
constexpr double PATTERN_SECONDS = 16 * BEAT_SECONDS;
constexpr size_t HOP = 88;   // 2 ms energy hops

// The music decoded to mono, (left + right) / 2.
struct DecodedSound {
    int rate = 0, channels = 0;
    std::vector<float> mono;
    std::string error;
};

DecodedSound decodeOgg(const std::string& path)
{
    DecodedSound out;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) {
        out.error = path + ": not an Ogg Vorbis stream";
        return out;
    }
    vorbis_info* vi = ov_info(&vf, -1);
    out.rate = int(vi->rate);
    out.channels = vi->channels;
    int section = 0;
    float** pcm = nullptr;
    for (long n; (n = ov_read_float(&vf, &pcm, 4096, &section)) != 0;) {
        if (n < 0) {
            out.error = path + ": decoding failed";
            break;
        }
        for (long i = 0; i < n; ++i) {
            float sum = 0;
            for (int c = 0; c < out.channels; ++c)
                sum += pcm[c][i];
            out.mono.push_back(sum / float(out.channels));
        }
    }
    ov_clear(&vf);
    return out;
}

// Direct-form biquad (RBJ cookbook), Q = 0.707: a high-pass or a low-pass.
struct Biquad {
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Biquad(double hz, int rate, bool high)
    {
        double w = 2 * M_PI * hz / rate, c = std::cos(w), alpha = std::sin(w) / (2 * 0.7071);
        double a0 = 1 + alpha, k = high ? 1 + c : 1 - c;
        b0 = b2 = k / 2 / a0;
        b1 = (high ? -k : k) / a0;
        a1 = -2 * c / a0;
        a2 = (1 - alpha) / a0;
    }
    double run(double x)
    {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Energy of a band in hops of `hop` samples, each over a window of 2 hops: a second-order
// high-pass at lowHz (0: none), then a second-order low-pass at highHz (0: none).
std::vector<float> bandEnergy(const std::vector<float>& signal, float lowHz, float highHz)
{
    std::vector<float> filtered(signal.size());
    Biquad hp(lowHz > 0 ? lowHz : 1, RATE, true), lp(highHz > 0 ? highHz : 1, RATE, false);
    for (size_t i = 0; i < signal.size(); ++i) {
        double v = signal[i];
        if (lowHz > 0)
            v = hp.run(v);
        if (highHz > 0)
            v = lp.run(v);
        filtered[i] = float(v * v);
    }
    std::vector<float> energy(signal.size() / size_t(HOP), 0.0f);
    for (size_t k = 0; k < energy.size(); ++k) {
        double sum = 0;
        for (size_t i = k * HOP; i < std::min(filtered.size(), (k + 2) * HOP); ++i)
            sum += filtered[i];
        energy[k] = float(sum / double(2 * HOP));
    }
    return energy;
}

struct Onset {
    bool found = false;
    double time = 0;   // seconds
    float rise = 0;    // energy of the 20 ms after against the 20 ms before
};

// The strongest rise of the energy within +-search seconds of `at`.
Onset onsetNear(const std::vector<float>& energy, double at, double search)
{
    Onset best;
    const double hopSeconds = double(HOP) / RATE;
    long centre = long(std::lround(at / hopSeconds)), reach = long(std::ceil(search / hopSeconds));
    const long span = long(std::lround(0.02 / hopSeconds));
    for (long k = centre - reach; k <= centre + reach; ++k) {
        if (k - span < 0 || k + span >= long(energy.size()))
            continue;
        double before = 1e-12, after = 0;
        for (long j = k - span; j < k - 1; ++j)
            before += energy[size_t(j)];
        for (long j = k; j < k + span; ++j)
            after += energy[size_t(j)];
        if (float(after / before) > best.rise)
            best = {true, double(k) * hopSeconds, float(after / before)};
    }
    return best;
}

const DecodedSound& music()
{
    static const DecodedSound sound = decodeOgg(buildDir() + "/data/music.ogg");
    return sound;
}

// Low band of the kick (its body lies between 40 and 170 Hz).
const std::vector<float>& kickBand()
{
    static const std::vector<float> e = bandEnergy(music().mono, 0, 150);
    return e;
}

const std::vector<float>& brightBand()
{
    static const std::vector<float> e = bandEnergy(music().mono, 2500, 0);
    return e;
}

// A kick is a strong low-band rise within 10 ms of the beat.
bool kickOnBeat(int beat, double* offset = nullptr)
{
    Onset o = onsetNear(kickBand(), beat * BEAT_SECONDS, 0.06);
    if (offset)
        *offset = o.time - beat * BEAT_SECONDS;
    return o.found && o.rise > 4.0f && std::fabs(o.time - beat * BEAT_SECONDS) <= 0.010;
}

TEST(Music, DecodesAsStereoAt44100HzForTheWholeShowAndATail)
{
    const DecodedSound& s = music();
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(s.rate, RATE);
    EXPECT_EQ(s.channels, 2);
    double seconds = double(s.mono.size()) / RATE;
    EXPECT_GE(seconds, 39.5 * PATTERN_SECONDS);   // the show's 303.36 s
    EXPECT_NEAR(seconds, DATA_MUSIC.patterns * PATTERN_SECONDS, 0.01);
}

TEST(Music, KickFallsOnTheBeatGridFromTheDropOn)
{
    ASSERT_EQ(music().error, "");
    int hits = 0, total = 0;
    std::string misses;
    for (int beat = 6 * 16; beat < 39 * 16; ++beat, ++total) {
        double offset = 0;
        if (kickOnBeat(beat, &offset))
            ++hits;
        else
            misses += " " + std::to_string(beat) + "(" +
                      std::to_string(int(std::lround(offset * 1000))) + "ms)";
    }
    EXPECT_GE(double(hits) / total, 0.95) << hits << " of " << total << " beats; missed:" << misses;
}

TEST(Music, IntroHasNoKick)
{
    ASSERT_EQ(music().error, "");
    // Patterns 0 to 5.5, leaving out the accent ticks, which boom.
    int kicks = 0;
    for (int beat = 0; beat < 88; ++beat) {
        bool tick = std::count(std::begin(ticktable), std::end(ticktable), beat * 4) > 0;
        kicks += !tick && kickOnBeat(beat);
    }
    EXPECT_LE(kicks, 2);
}

TEST(Music, AccentsFallOnTheTickRows)
{
    ASSERT_EQ(music().error, "");
    for (int32_t row : ticktable) {
        if (row >= DATA_MUSIC.patterns * 64)
            continue;   // long after the music
        double at = row / 4.0 * BEAT_SECONDS;
        Onset tick = onsetNear(brightBand(), at, 0.01);
        // The same row one pattern later has no accent: the tick must stand out against it.
        double quiet = at + PATTERN_SECONDS;
        auto level = [](double from) {
            const std::vector<float>& e = brightBand();
            double sum = 0;
            const double hop = double(HOP) / RATE;
            for (size_t k = size_t(from / hop); k < size_t((from + 0.15) / hop); ++k)
                sum += e[k];
            return sum;
        };
        EXPECT_TRUE(tick.found && std::fabs(tick.time - at) <= 0.010) << "row " << row;
        EXPECT_GT(level(at), 2.0 * level(quiet)) << "row " << row;
    }
}

TEST(Music, FadesToSilenceAfterTheShow)
{
    ASSERT_EQ(music().error, "");
    const std::vector<float>& m = music().mono;
    auto rms = [&](double from, double to) {
        double sum = 0;
        size_t a = size_t(from * RATE), b = std::min(m.size(), size_t(to * RATE));
        for (size_t i = a; i < b; ++i)
            sum += double(m[i]) * m[i];
        return std::sqrt(sum / double(std::max<size_t>(1, b - a)));
    };
    double during = rms(30 * PATTERN_SECONDS, 31 * PATTERN_SECONDS);
    EXPECT_GT(during, 0.05);
    EXPECT_LT(rms(m.size() / double(RATE) - 0.5, m.size() / double(RATE)), during * 0.01);
    // No kick after the show's last hit at 39.5 patterns.
    for (int beat = 633; beat < DATA_MUSIC.patterns * 16; ++beat)
        EXPECT_FALSE(kickOnBeat(beat)) << "beat " << beat;
}

}   // namespace
