// The generated music: format and length, the kick on the beat grid, accents on the ticks,
// the fade at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/test_support.h"
#include "support/data_files.h"
#include "sound.h"

namespace {

constexpr int RATE = 44100;
constexpr double BEAT_SECONDS = 0.48;      // 125 beats per minute
constexpr double PATTERN_SECONDS = 7.68;   // 16 beats
constexpr int HOP = 88;                    // 2 ms energy hops

const DecodedSound& music()
{
    static const DecodedSound sound = decodeOgg(buildDir() + "/data/music.ogg");
    return sound;
}

// Low band of the kick (its body lies between 40 and 170 Hz).
const std::vector<float>& kickBand()
{
    static const std::vector<float> e = bandEnergy(music().mono, RATE, 0, 150, HOP);
    return e;
}

const std::vector<float>& brightBand()
{
    static const std::vector<float> e = bandEnergy(music().mono, RATE, 2500, 0, HOP);
    return e;
}

// A kick is a strong low-band rise within 10 ms of the beat.
bool kickOnBeat(int beat, double* offset = nullptr)
{
    Onset o = onsetNear(kickBand(), RATE, HOP, beat * BEAT_SECONDS, 0.06);
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
    // Patterns 0 to 5.5, leaving out the accent ticks (beats 12, 14, 52, 54), which boom.
    int kicks = 0;
    for (int beat = 0; beat < 88; ++beat)
        if (beat != 12 && beat != 14 && beat != 52 && beat != 54 && kickOnBeat(beat))
            ++kicks;
    EXPECT_LE(kicks, 2);
}

TEST(Music, AccentsFallOnTheTickRows)
{
    ASSERT_EQ(music().error, "");
    const int tickRows[] = {48, 56, 208, 216, 400, 408, 1552, 1560, 1680, 1688};
    for (int row : tickRows) {
        double at = row / 4.0 * BEAT_SECONDS;
        Onset tick = onsetNear(brightBand(), RATE, HOP, at, 0.01);
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
