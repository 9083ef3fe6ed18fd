// The show's music: a 41-pattern piece at 125 beats per minute in A minor, arranged to the
// scene windows of the show so that picture and sound agree. A pattern is 16 beats; beat n
// starts at sample n * 21168. The score is written here as code (which voice plays where), the
// voices come from synth.cpp, and the result is encoded as Ogg Vorbis.
//
// Sections (patterns):   0-6 intro without kick, accents on the logo and title ticks, build
//   over 5.5-6 | 6 drop, trail flight | 9.5 swarm: rolling bass, lead | 13.75 break |
//   14 growth: dark | 18 ray burst: acid bass | 20 fractal: fast arpeggio, rise into 22 |
//   22-28.25 calm zoom under the credits: bells, soft drums, accents on the ticks |
//   28.25 cluster: full | 32.25 break | 32.5 return: the flight again | 34.5 nested zoom:
//   climax | 38.5-39.5 slow, half-time close | 39.5 last hit, then the tail fades out by 41.
#include "datagen.h"
#include "synth.h"
#include "show/show_tables.h"   // the tempo, the scene windows and the ticks the music follows

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

#include <vorbis/vorbisenc.h>

namespace datagen {

namespace {

using namespace synth;

// Samples per beat at the show's tempo, a whole number of them.
constexpr int64_t BEAT = int64_t(RATE * 60 / SHOW_TEMPO);
static_assert(float(BEAT) * SHOW_TEMPO == float(RATE * 60),
              "a beat is not a whole number of samples");
constexpr int64_t PATTERN = BEAT * 16;
constexpr int PATTERNS = DATA_MUSIC.patterns;
constexpr int TOTAL_BEATS = PATTERNS * 16;
constexpr int64_t TOTAL_FRAMES = PATTERNS * PATTERN;
constexpr float VORBIS_QUALITY = 0.4f;

enum class Part {
    Intro,
    Drift,
    Swarm,
    Break,
    Growth,
    Burst,
    Fractal,
    Zoom,
    Cluster,
    Return,
    Within,
    Slow,
    Tail
};

// The part each scene's windows sound, by scene number: the music follows the picture. Scene 4's
// windows are the breaks, but the quarter-speed one that closes the show is the slow part.
constexpr Part SCENE_PARTS[SCENE_COUNT + 1] = {
    Part::Tail,  Part::Intro,   Part::Drift, Part::Swarm,   Part::Break,  Part::Growth,
    Part::Burst, Part::Fractal, Part::Zoom,  Part::Cluster, Part::Return, Part::Within};

struct Window {
    double start;   // in patterns
    Part part;
};

// The show's window holding beat (the first also takes what lies before it); after the show, the
// tail.
Window windowAt(double beat)
{
    double start = 0.0;
    for (const SceneWindow& w : SCENE_WINDOWS) {
        if (beat / 16.0 < w.end)
            return {start, w.rate < 1.0 ? Part::Slow : SCENE_PARTS[w.scene]};
        start = w.end;
    }
    return {start, Part::Tail};
}
Part partAt(double beat)
{
    return windowAt(beat).part;
}

struct Chord {
    int bass;       // bass note (octave 1)
    int tones[4];   // pad voicing, ascending
};
const Chord AM{33, {57, 60, 64, 67}}, FM{29, {53, 57, 60, 64}}, CM{36, {55, 60, 64, 67}},
    GM{31, {55, 59, 62, 67}}, EM{28, {55, 59, 62, 64}}, DM{38, {57, 60, 62, 65}},
    BB{34, {58, 62, 65, 69}}, E7{28, {56, 59, 62, 64}};

std::vector<Chord> progression(Part part)
{
    switch (part) {
    case Part::Swarm: return {FM, GM, EM, AM};
    case Part::Growth: return {AM, BB, AM, GM};
    case Part::Burst: return {FM, GM, AM, AM};
    case Part::Fractal: return {DM, FM, AM, GM};
    case Part::Zoom: return {FM, FM, AM, AM, DM, DM, EM, GM};
    case Part::Within: return {FM, GM, AM, AM, FM, GM, E7, E7};
    case Part::Slow: return {FM, FM, GM, GM};
    case Part::Tail: return {AM};
    default: return {AM, FM, CM, GM};
    }
}

// The chord of the bar holding beat; progressions restart at the start of their section.
Chord chordAt(double beat)
{
    const Window w = windowAt(beat);
    std::vector<Chord> prog = progression(w.part);
    int startBar = int(std::floor(w.start * 16.0 / 4.0 + 1e-9));
    int bar = int(std::floor(beat / 4.0)) - startBar;
    return prog[size_t(std::max(bar, 0)) % prog.size()];
}

// Tone index: 0..3 the chord's tones, 4..7 an octave up, and so on.
float chordTone(const Chord& c, int index)
{
    return float(c.tones[index % 4] + 12 * (index / 4));
}

struct MotifNote {
    double beat, length;
    int tone;
};
// A four-bar phrase over the chord tones: falling, answering, rising.
const MotifNote MOTIF[] = {
    {0, 0.75, 4},  {0.75, 0.75, 3}, {1.5, 1.0, 2}, {2.5, 0.5, 3}, {3, 1, 4},
    {4, 0.75, 5},  {4.75, 0.75, 4}, {5.5, 2.5, 3}, {8, 0.75, 4},  {8.75, 0.75, 3},
    {9.5, 1.0, 2}, {10.5, 0.5, 1},  {11, 1, 2},    {12, 0.5, 3},  {12.5, 0.5, 4},
    {13, 0.5, 5},  {13.5, 2.5, 4},
};
const int ARP[] = {0, 2, 1, 3, 2, 4, 3, 5};

enum class Voice {
    Kick,
    Clap,
    Snare,
    HatClosed,
    HatOpen,
    Crash,
    Impact,
    Bass,
    Acid,
    SubBass,
    Pad,
    Pluck,
    Lead,
    Bell,
    Riser,
    Downer
};

struct Note {
    Voice voice;
    double beat, length;   // in beats
    float pitch, gain;
    float param;           // cutoff for tonal voices
    float shape;           // pan for drums, plucks and bells; attack in seconds for pads
    float reverb, delay;   // send levels
};

bool isDrum(Voice v)
{
    return v <= Voice::Impact;
}

std::vector<Note> composeScore()
{
    std::vector<Note> notes;
    auto add = [&](Voice v, double beat, double length, float pitch, float gain, float param = 0,
                   float pan = 0, float rev = 0, float del = 0) {
        notes.push_back({v, beat, length, pitch, gain, param, pan, rev, del});
    };
    auto melody = [&](double from, double to, double stretch, int octave, float gain, Voice voice,
                      float cutoff) {
        for (double phrase = from; phrase < to; phrase += 16 * stretch)
            for (const MotifNote& m : MOTIF) {
                double beat = phrase + m.beat * stretch;
                if (beat >= to)
                    continue;
                float pitch = chordTone(chordAt(beat), m.tone) + float(12 * octave);
                add(voice, beat, m.length * stretch * 0.92, pitch, gain, cutoff, 0, 0.3f, 0.35f);
            }
    };
    auto roll = [&](double from, double to, double step, float g0, float g1) {
        for (double b = from; b < to - 1e-9; b += step) {
            float x = float((b - from) / (to - from));
            add(Voice::Snare, b, 0, 0, g0 + (g1 - g0) * x, 0, 0, 0.2f);
        }
    };

    for (int b = 0; b < TOTAL_BEATS; ++b) {
        const Part part = partAt(b);
        const Chord chord = chordAt(b);
        const bool bar = b % 4 == 0;
        const bool full = part == Part::Drift || part == Part::Swarm || part == Part::Growth ||
                          part == Part::Burst || part == Part::Fractal || part == Part::Cluster ||
                          part == Part::Return || part == Part::Within;

        // Drums. From the drop on, a kick on every beat but in the breaks and the half-time close.
        if (b >= 96 && b < 632) {
            if (part == Part::Break) {
                if (b == 220 || b == 516)
                    add(Voice::Kick, b, 0, 0, 1.0f);
            } else if (part == Part::Slow) {
                if (b % 2 == 0)
                    add(Voice::Kick, b, 0, 0, 0.95f);
            } else {
                add(Voice::Kick, b, 0, 0, part == Part::Zoom ? 0.9f : 1.0f);
            }
        }
        if (b % 2 == 1 && (full || part == Part::Zoom))
            add(Voice::Clap, b, 0, 0, part == Part::Zoom ? 0.32f : 0.62f, 0, 0,
                part == Part::Zoom ? 0.5f : 0.22f);
        if (part == Part::Slow && b % 4 == 2)
            add(Voice::Snare, b, 0, 0, 0.7f, 0, 0, 0.7f);
        if (b >= 96 && b <= 616 && b % 8 == 0 && part != Part::Break)
            add(Voice::Crash, b, 0, 0, part == Part::Zoom ? 0.22f : 0.42f, 0, 0, 0.15f);

        // Hats: off-beat eighths everywhere with drums, sixteenths in the busy sections.
        const bool busy = part == Part::Burst || part == Part::Cluster || part == Part::Within ||
                          part == Part::Swarm;
        if (full || part == Part::Zoom || (part == Part::Intro && b >= 48)) {
            float g = part == Part::Intro  ? 0.06f + 0.06f * float(b - 48) / 48.0f
                      : part == Part::Zoom ? 0.09f
                                           : 0.17f;
            add(Voice::HatClosed, b + 0.5, 0, 0, g, 0, 0.25f);
            if (busy || (part == Part::Intro && b >= 72)) {
                add(Voice::HatClosed, b + 0.25, 0, 0, g * 0.45f, 0, -0.3f);
                add(Voice::HatClosed, b + 0.75, 0, 0, g * 0.55f, 0, -0.2f);
            }
            if (busy && b % 2 == 1)
                add(Voice::HatOpen, b + 0.5, 0, 0, 0.09f, 0, 0.35f, 0.1f);
        }

        // Bass.
        const float root = float(chord.bass + 12);
        switch (part) {
        case Part::Intro:
            if (bar && b >= 16)
                add(Voice::SubBass, b, 4, float(chord.bass + 12), 0.32f, 220);
            break;
        case Part::Drift:
        case Part::Return:
        case Part::Cluster: add(Voice::Bass, b + 0.5, 0.42, root, 0.5f, 320); break;
        case Part::Swarm:
        case Part::Within:
            for (double f : {0.25, 0.5, 0.75})
                add(Voice::Bass, b + f, 0.2, root, 0.42f, 380);
            break;
        case Part::Growth:
            add(Voice::Bass, b + 0.5, 0.45, b % 4 == 3 ? root + 12 : root, 0.55f, 200);
            break;
        case Part::Burst: {
            static const int steps[16] = {0, 12, 0, 0, 7, 0, 12, 0, 0, 10, 0, 12, 0, 7, 15, 12};
            static const bool on[16] = {0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 1, 1};
            for (int s = 0; s < 4; ++s) {
                int step = (b % 4) * 4 + s;
                if (on[step])
                    add(Voice::Acid, b + s * 0.25, 0.2, root + float(steps[step]), 0.36f,
                        260 + 180 * float(b % 16) / 16.0f);
            }
            break;
        }
        case Part::Fractal:
            add(Voice::Bass, b + 0.5, 0.4, b % 2 ? root + 12 : root, 0.5f, 420);
            break;
        case Part::Zoom:   // a soft pulse between the kicks keeps the calm section moving
            add(Voice::SubBass, b + 0.5, 0.45, float(chord.bass + 12), 0.5f, 240);
            break;
        case Part::Slow:
            if (bar)
                add(Voice::SubBass, b, 4, float(chord.bass + 12), 0.45f, 260);
            break;
        default: break;
        }

        // Pads, one chord a bar.
        if (bar) {
            float padGain = 0, cutoff = 1800, attack = 0.4f;
            switch (part) {
            case Part::Intro:
                padGain = 0.55f * std::min(1.0f, float(b + 4) / 12.0f);
                cutoff = 700 + 1800 * float(b) / 96.0f;
                attack = 0.25f;
                break;
            case Part::Drift:
            case Part::Return:
                padGain = 0.28f;
                cutoff = 2200;
                break;
            case Part::Swarm:
                padGain = 0.35f;
                cutoff = 2000;
                break;
            case Part::Growth:
                padGain = 0.4f;
                cutoff = 1100;
                break;
            case Part::Fractal:
                padGain = 0.22f;
                cutoff = 2600;
                break;
            case Part::Zoom:
                padGain = 0.62f;
                cutoff = 2400;
                attack = 0.9f;
                break;
            case Part::Cluster:
                padGain = 0.3f;
                cutoff = 2600;
                break;
            case Part::Within:
                padGain = 0.4f;
                cutoff = 3200;
                break;
            case Part::Slow:
                padGain = 0.55f;
                cutoff = 1600;
                attack = 0.6f;
                break;
            case Part::Tail:
                padGain = b == 632 ? 0.6f : 0.0f;
                cutoff = 1400;
                break;
            default: break;
            }
            double length = part == Part::Tail ? 20 : 4;
            if (padGain > 0)
                add(Voice::Pad, b, length, 0, padGain, cutoff, attack, 0.35f);
        }

        // Arpeggio of sixteenths.
        float arpGain = 0, arpCut = 2500;
        if (part == Part::Intro && b >= 24) {
            arpGain = 0.11f;
            arpCut = 300 + 3400 * float(b - 24) / 72.0f;
        }
        if (part == Part::Swarm) {
            arpGain = 0.1f;
            arpCut = 2800;
        }
        if (part == Part::Fractal) {
            arpGain = 0.13f;
            arpCut = 3800;
        }
        if (part == Part::Cluster) {
            arpGain = 0.08f;
            arpCut = 3000;
        }
        if (part == Part::Within) {
            arpGain = 0.07f;
            arpCut = 4200;
        }
        if (part == Part::Return) {
            arpGain = 0.07f;
            arpCut = 2400;
        }
        if (arpGain > 0)
            for (int s = 0; s < 4; ++s) {
                int step = b * 4 + s;
                float pitch = chordTone(chord, ARP[step % 8]) +
                              (part == Part::Fractal && (step / 8) % 2 ? 12.0f : 0.0f);
                add(Voice::Pluck, b + s * 0.25, 0, pitch, arpGain, arpCut, s % 2 ? 0.35f : -0.35f,
                    0.25f, 0.2f);
            }

        // Stabs in the flight sections: a 3-3-4-3-3 rhythm of chord hits.
        if ((part == Part::Drift || part == Part::Return) && b % 4 == 0) {
            for (double off : {0.0, 0.75, 1.5, 2.5, 3.25})
                for (int t = 1; t < 4; ++t)
                    add(Voice::Pluck, b + off, 0, chordTone(chord, t) + 12, 0.07f, 1800, 0, 0.3f,
                        0.3f);
        }
    }

    // Lead melodies and the bells of the calm section.
    melody(160, 216, 1, 0, 0.16f, Voice::Lead, 2200);
    melody(232, 288, 2, 0, 0.15f, Voice::Lead, 1500);
    melody(352, 448, 2, 1, 0.15f, Voice::Bell, 0);
    melody(464, 512, 1, 0, 0.15f, Voice::Lead, 2600);
    melody(560, 608, 1, 1, 0.13f, Voice::Lead, 3000);

    // Accents on the ticks (rows are quarter beats): big hits, with a chord in the calm section.
    for (int32_t row : ticktable) {
        if (row >= PATTERNS * 64)
            continue;   // long after the music
        double beat = row / 4.0;
        add(Voice::Impact, beat, 0, 0, beat < 96 ? 0.85f : 0.8f, 0, 0, 0.5f);
        if (beat >= 96)
            add(Voice::Crash, beat, 0, 0, 0.6f, 0, 0, 0.3f);   // cut through the full mix
        Chord c = chordAt(beat);
        for (int t = 0; t < 4; ++t)
            add(Voice::Bell, beat, 0, chordTone(c, t + 4), 0.09f, 0, t % 2 ? 0.4f : -0.4f, 0.5f,
                0.3f);
    }
    // Impacts where the big sections land.
    for (double beat : {96.0, 224.0, 452.0, 552.0, 616.0, 632.0})
        add(Voice::Impact, beat, 0, 0, 0.75f, 0, 0, 0.5f);

    // Builds: the zoom into the drop, the breaks, the fractal's zoom and the scene changes.
    add(Voice::Riser, 80, 16, 0, 0.35f, 0, 0, 0.3f);
    roll(88, 92, 0.5, 0.12f, 0.3f);
    roll(92, 94, 0.25, 0.3f, 0.5f);
    roll(94, 96, 0.125, 0.5f, 0.7f);
    add(Voice::Riser, 212, 12, 0, 0.3f, 0, 0, 0.3f);
    roll(220, 224, 0.25, 0.25f, 0.75f);
    add(Voice::Riser, 344, 8, 0, 0.3f, 0, 0, 0.3f);
    add(Voice::Riser, 444, 8, 0, 0.25f, 0, 0, 0.3f);
    add(Voice::Riser, 510, 10, 0, 0.3f, 0, 0, 0.3f);
    roll(516, 520, 0.25, 0.3f, 0.7f);
    add(Voice::Riser, 544, 8, 0, 0.28f, 0, 0, 0.3f);
    add(Voice::Riser, 604, 12, 0, 0.3f, 0, 0, 0.3f);
    add(Voice::Downer, 616, 16, 0, 0.3f, 0, 0, 0.4f);
    add(Voice::Downer, 632, 12, 0, 0.25f, 0, 0, 0.5f);
    return notes;
}

constexpr float PAD_RELEASE = 1.2f;
constexpr float PLUCK_DECAY = 0.11f;

// How long each voice sounds after its gate (the lengths its synth.cpp function renders).
int64_t ringFrames(Voice v)
{
    auto s = [](double seconds) { return int64_t(seconds * RATE) + 1; };
    switch (v) {
    case Voice::Kick: return s(0.5);
    case Voice::Clap: return s(0.4);
    case Voice::Snare: return s(0.35);
    case Voice::HatClosed: return s(0.14);
    case Voice::HatOpen: return s(0.7);
    case Voice::Crash: return s(3.0);
    case Voice::Impact: return s(3.0);
    case Voice::Bass:
    case Voice::Acid:
    case Voice::SubBass: return s(0.02);
    case Voice::Pad: return s(PAD_RELEASE);
    case Voice::Pluck: return s(std::min(PLUCK_DECAY * 5.0, 2.0));
    case Voice::Lead: return s(0.09);
    case Voice::Bell: return s(3.0);
    case Voice::Riser:
    case Voice::Downer: return 0;
    }
    return 0;
}

struct Buses {
    Stereo dry, ducked, reverbSend, delaySend;
    Buses()
        : dry(size_t(TOTAL_FRAMES))
        , ducked(size_t(TOTAL_FRAMES))
        , reverbSend(size_t(TOTAL_FRAMES))
        , delaySend(size_t(TOTAL_FRAMES))
    {
    }
};

int64_t frameOf(double beat)
{
    return int64_t(std::llround(beat * double(BEAT)));
}

void renderNote(const Note& n, Buses& buses, uint32_t seed)
{
    const int64_t start = frameOf(n.beat);
    const int64_t length = frameOf(n.beat + n.length) - start;
    Stereo note(size_t(length + ringFrames(n.voice)));
    switch (n.voice) {
    case Voice::Kick: kick(note, 0, n.gain); break;
    case Voice::Clap: clap(note, 0, n.gain, seed); break;
    case Voice::Snare: snare(note, 0, n.gain, seed); break;
    case Voice::HatClosed: hat(note, 0, n.gain, false, n.shape, seed); break;
    case Voice::HatOpen: hat(note, 0, n.gain, true, n.shape, seed); break;
    case Voice::Crash: crash(note, 0, n.gain, seed); break;
    case Voice::Impact: impact(note, 0, n.gain, seed); break;
    case Voice::Bass:
        bassNote(note, 0, length, n.pitch, n.gain, {n.param, 1500, 1.1f, 0.085f, 0.6f});
        break;
    case Voice::Acid:
        bassNote(note, 0, length, n.pitch, n.gain, {n.param, 2600, 4.5f, 0.07f, 0.3f});
        break;
    case Voice::SubBass:
        bassNote(note, 0, length, n.pitch, n.gain, {n.param, 150, 0.7f, 0.4f, 1.0f});
        break;
    case Voice::Pad: {
        const Chord chord = chordAt(n.beat);
        const float tones[4] = {float(chord.tones[0]), float(chord.tones[1]), float(chord.tones[2]),
                                float(chord.tones[3])};
        padChord(note, 0, length, tones, 4, n.gain, n.param, n.shape, PAD_RELEASE, seed);
        break;
    }
    case Voice::Pluck: pluckNote(note, 0, n.pitch, n.gain, n.param, PLUCK_DECAY, n.shape); break;
    case Voice::Lead: leadNote(note, 0, length, n.pitch, n.gain, n.param); break;
    case Voice::Bell: bellNote(note, 0, n.pitch, n.gain, n.shape); break;
    case Voice::Riser: riser(note, 0, length, n.gain, false, seed); break;
    case Voice::Downer: riser(note, 0, length, n.gain, true, seed); break;
    }
    const bool duck = n.voice == Voice::Bass || n.voice == Voice::Acid ||
                      n.voice == Voice::SubBass || n.voice == Voice::Pad || n.voice == Voice::Pluck;
    Stereo& dry = duck ? buses.ducked : buses.dry;
    for (int64_t i = 0; i < note.frames(); ++i) {
        int64_t f = start + i;
        if (f >= TOTAL_FRAMES)
            break;
        float l = note.l[size_t(i)], r = note.r[size_t(i)];
        if (l == 0 && r == 0)
            continue;
        dry.addLR(f, l, r);
        if (n.reverb > 0)
            buses.reverbSend.addLR(f, l * n.reverb, r * n.reverb);
        if (n.delay > 0)
            buses.delaySend.addLR(f, l * n.delay, r * n.delay);
    }
}

// Lowers the ducked bus after every kick, so the bass and pads breathe with the beat.
void applyDucking(Stereo& bus, const std::vector<Note>& notes)
{
    std::vector<char> kickAt(size_t(TOTAL_FRAMES), 0);
    for (const Note& n : notes)
        if (n.voice == Voice::Kick)
            kickAt[size_t(frameOf(n.beat))] = 1;
    const float fall = std::exp(-1.0f / (0.11f * float(RATE)));
    float env = 0, smooth = 0;
    for (int64_t i = 0; i < TOTAL_FRAMES; ++i) {
        if (kickAt[size_t(i)])
            env = 1;
        smooth += (env - smooth) * 0.02f;   // a fast but click-free attack
        float g = 1 - 0.6f * smooth;
        bus.l[size_t(i)] *= g;
        bus.r[size_t(i)] *= g;
        env *= fall;
    }
}

bool encodeVorbis(const std::string& path, const Stereo& mix, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = path + ": cannot open for writing";
        return false;
    }
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, RATE, VORBIS_QUALITY) != 0) {
        std::fclose(file);
        error = "the Vorbis encoder refused its settings";
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "Orvanti");
    vorbis_comment_add_tag(&vc, "ARTIST", "Droblin");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x0ABA17);   // fixed serial number: same bytes on every run
    bool ok = true;
    auto writePage = [&](const ogg_page& page) {
        ok = ok &&
             std::fwrite(page.header, 1, size_t(page.header_len), file) == size_t(page.header_len);
        ok = ok && std::fwrite(page.body, 1, size_t(page.body_len), file) == size_t(page.body_len);
    };
    {
        ogg_packet header, comments, codebooks;
        vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
        ogg_stream_packetin(&os, &header);
        ogg_stream_packetin(&os, &comments);
        ogg_stream_packetin(&os, &codebooks);
        ogg_page page;
        while (ogg_stream_flush(&os, &page))
            writePage(page);
    }
    const int64_t block = 4096;
    bool eos = false;
    for (int64_t pos = 0; !eos;) {
        int64_t n = std::min(block, mix.frames() - pos);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, int(n));
            std::copy(mix.l.begin() + pos, mix.l.begin() + pos + n, buffer[0]);
            std::copy(mix.r.begin() + pos, mix.r.begin() + pos + n, buffer[1]);
            vorbis_analysis_wrote(&vd, int(n));
            pos += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&os, &page)) {
                    writePage(page);
                    if (ogg_page_eos(&page))
                        eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        error = path + ": write failed";
    return ok;
}

}   // namespace

double secondsSince(const timespec& start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) * 1e-9;
}

bool writeMusic(const std::string& dir, int threads, std::string& error)
{
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const std::vector<Note> notes = composeScore();
    Buses first, second;
    // The voices render in two halves side by side: the drums and the pads take about as long
    // as everything else. Each half keeps the score's order, so the sums repeat exactly.
    auto render = [&](bool drumsAndPads, Buses& buses) {
        uint32_t seed = 1;
        for (const Note& n : notes) {
            seed = seed * 1664525u + 1013904223u;
            if ((isDrum(n.voice) || n.voice == Voice::Pad) == drumsAndPads)
                renderNote(n, buses, seed);
        }
    };
    if (threads > 1) {
        std::thread helper(render, true, std::ref(first));
        render(false, second);
        helper.join();
    } else {
        render(true, first);
        render(false, second);
    }
    auto fold = [](Stereo& into, const Stereo& from) {
        for (size_t i = 0; i < into.l.size(); ++i) {
            into.l[i] += from.l[i];
            into.r[i] += from.r[i];
        }
    };
    fold(first.dry, second.dry);
    fold(first.ducked, second.ducked);
    fold(first.reverbSend, second.reverbSend);
    fold(first.delaySend, second.delaySend);
    applyDucking(first.ducked, notes);
    const double voices = secondsSince(start);

    // Effects: one reverb for everything, the delay for the melodic voices. Their returns go
    // into the second half's buffers, which are free now.
    Stereo& reverbReturn = second.dry;
    Stereo& delayReturn = second.ducked;
    for (Stereo* s : {&reverbReturn, &delayReturn}) {
        std::fill(s->l.begin(), s->l.end(), 0.0f);
        std::fill(s->r.begin(), s->r.end(), 0.0f);
    }
    auto reverbPass = [&] { reverb(first.reverbSend, reverbReturn, 0.86f, 0.35f, 0.9f); };
    auto delayPass = [&] {
        pingPongDelay(first.delaySend, delayReturn, BEAT * 3 / 4, 0.42f, 0.6f);
    };
    if (threads > 1) {
        std::thread helper(reverbPass);
        delayPass();
        helper.join();
    } else {
        reverbPass();
        delayPass();
    }
    Stereo& master = first.dry;
    fold(master, first.ducked);
    fold(master, reverbReturn);
    fold(master, delayReturn);
    float peak = 0;
    for (size_t k = 0; k < master.l.size(); ++k)
        peak = std::max({peak, std::fabs(master.l[k]), std::fabs(master.r[k])});
    // Level, gentle saturation, and the fade of the tail: from 39.75 patterns to silence at 41.
    const float drive = peak > 0 ? 1.25f / peak : 1.0f;
    const double fadeStart = 39.75 * double(PATTERN), fadeEnd = double(TOTAL_FRAMES);
    for (int64_t i = 0; i < TOTAL_FRAMES; ++i) {
        float fade = 1;
        if (double(i) > fadeStart)
            fade = float(
                0.5 + 0.5 * std::cos(3.14159265 * (double(i) - fadeStart) / (fadeEnd - fadeStart)));
        if (i < 64)
            fade *= float(i) / 64.0f;
        size_t k = size_t(i);
        master.l[k] = softClip(master.l[k] * drive) * 0.95f * fade;
        master.r[k] = softClip(master.r[k] * drive) * 0.95f * fade;
    }
    const double mixed = secondsSince(start);
    bool ok = encodeVorbis(dir + "/" + DATA_MUSIC.name, master, error);
    std::printf("datagen: music voices %.1f s, effects and mix %.1f s, encoding %.1f s\n", voices,
                mixed - voices, secondsSince(start) - mixed);
    return ok;
}

}   // namespace datagen
