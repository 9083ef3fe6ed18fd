// The sound library: Ogg Vorbis streams decoded from memory with libvorbisfile, resampled with
// libsamplerate where their rate differs from the mix, mixed to 16-bit stereo and played through
// one of the outputs of sound_output.cpp.
//
// Locks: mixLock guards the list of streams and everything the mixer touches; the mixer holds it
// for one output buffer. Each stream's clockLock guards only the clock (the buffers on their way
// to being heard, the time last reported) and a pending seek, and is held for a few instructions
// at a time, so GetTime and SetTime never wait on decoding. The seek itself is done by the mixer
// at the start of its next buffer.
//
// The clock: every buffer mixed is a straight line of stream position against time, from the
// moment the output says its first frame will be heard. GetTime follows the line of the buffer
// being heard, but not in steps: a report that moves the line is caught up with at most
// CLOCK_SLEW faster or slower than the wall clock. Only the start, a seek and a loop restart
// move it at once.
#include "music/sound.h"
#include "music/sound_output.h"

#include <samplerate.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Samples of one decoded run, in the stream's own channel layout. The largest Vorbis packet
// holds 4096 frames, so a stereo one always fits whole; wider streams take several runs.
constexpr int STAGE_SAMPLES = 8192;
// Stereo frames the resampler makes at a time.
constexpr int RESAMPLED_FRAMES = 1024;

enum class EndState { PLAYING, END_DECODED, ENDED };

// How the clock follows the output: errors shrink with this time constant, at most this fraction
// of the wall clock's pace faster or slower (a frame of 16.7 ms moves by 0.5 ms at most), and
// one further ahead than this is jumped to (an output that stood still and goes on).
constexpr double CLOCK_FOLLOW_MS = 300.0;
constexpr double CLOCK_SLEW = 0.03;
constexpr double CLOCK_SNAP_MS = 100.0;
// Buffers on their way to being heard: a few seconds' worth at the least.
constexpr size_t CLOCK_SEGMENTS = 256;

// One buffer on the clock: position startMs is heard at `at`, moving with the wall clock up to
// limitMs. A jump is taken at once, even backwards.
struct ClockSegment {
    double startMs, limitMs;
    std::chrono::steady_clock::time_point at;
    bool jump;
};

}   // namespace

struct FSOUND_STREAM {
    // The caller's memory block, read by libvorbisfile through the callbacks below.
    const unsigned char* data = nullptr;
    long size = 0;
    long readPos = 0;

    OggVorbis_File vorbis{};
    bool loop = false;
    long rate = 44100;
    int64_t totalFrames = 0;
    double lengthMs = 0.0;

    FSOUND_STREAMCALLBACK endCallback = nullptr;
    void* endUserData = nullptr;
    FSOUND_STREAMCALLBACK syncCallback = nullptr;
    void* syncUserData = nullptr;

    // Under mixLock.
    int channel = -1;
    std::atomic<bool> paused{true};

    // Mixer only: decoded frames of the stream, starting at stageStart.
    int16_t stage[STAGE_SAMPLES] = {};
    int stageChannels = 1;
    int64_t stageStart = 0;
    int stageCount = 0;
    int64_t passFrames = 0;   // the length of one pass, once a looping stream has wrapped
    double playPos = 0.0;     // stream frame of the next output frame
    EndState endState = EndState::PLAYING;
    // Mixer only, for a stream at another rate than the mix: stereo frames on their way through
    // the resampler, which runs ahead of playPos by what it holds.
    SRC_STATE* resampler = nullptr;
    double resampleRatio = 1.0;
    std::vector<float> resampleIn, resampleOut;
    int inUsed = 0, inCount = 0, outUsed = 0, outCount = 0;
    bool inputEnded = false;
    // Mixer only, since the last seek: frames decoded and output frames mixed.
    int64_t decodedFrames = 0;
    int64_t mixedFrames = 0;
    SteadyClock::time_point endHeardAt{};   // once END_DECODED: when its last frame is heard

    // Under clockLock.
    std::mutex clockLock;
    int64_t pendingSeek = -1;            // stream frame, or -1
    std::deque<ClockSegment> segments;   // oldest first; the first is being heard once due
    double shownMs = 0.0;                // the time last reported
    SteadyClock::time_point shownAt{};
    bool jumpNext = true;      // the next buffer starts afresh (the start, a seek)
    double mixedEndMs = 0.0;   // the end of what has been mixed
};

namespace {

struct SoundLibrary {
    std::atomic<int> lastError{FMOD_ERR_NONE};
    std::atomic<float> reportedVersion{0.0f};
    int outputType = FSOUND_OUTPUT_DSOUND;
    bool initialised = false;
    int mixRate = 44100;
    std::string device;
    std::atomic<double> addedDelayMs{0.0};

    std::mutex mixLock;
    std::vector<FSOUND_STREAM*> streams;
    int nextChannel = 0;
};

SoundLibrary sound;

bool fail(int code)
{
    sound.lastError.store(code);
    return false;
}

size_t memoryRead(void* out, size_t size, size_t count, void* source)
{
    FSOUND_STREAM* s = static_cast<FSOUND_STREAM*>(source);
    if (size == 0)
        return 0;
    size_t available = (size_t)(s->size - s->readPos) / size;
    size_t n = std::min(count, available);
    std::memcpy(out, s->data + s->readPos, n * size);
    s->readPos += (long)(n * size);
    return n;
}

int memorySeek(void* source, ogg_int64_t offset, int whence)
{
    FSOUND_STREAM* s = static_cast<FSOUND_STREAM*>(source);
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->readPos : s->size;
    ogg_int64_t pos = base + offset;
    if (pos < 0 || pos > s->size)
        return -1;
    s->readPos = (long)pos;
    return 0;
}

long memoryTell(void* source)
{
    return static_cast<FSOUND_STREAM*>(source)->readPos;
}

double framesToMs(const FSOUND_STREAM* s, double frames)
{
    return frames * 1000.0 / (double)s->rate;
}

double msBetween(SteadyClock::time_point from, SteadyClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The position heard at `now`, as the reader sees it; under clockLock. Before the first buffer
// after a start or a seek is heard, and after the last one, it stands.
double readClock(FSOUND_STREAM* s, SteadyClock::time_point now)
{
    std::deque<ClockSegment>& q = s->segments;
    while (q.size() > 1 && q[1].at <= now) {
        q[1].jump |= q[0].jump;   // a restart nobody read is still a restart
        q.pop_front();
    }
    double dt = std::max(msBetween(s->shownAt, now), 0.0);
    s->shownAt = now;
    if (q.empty() || q[0].at > now)
        return s->shownMs;
    ClockSegment& c = q[0];
    double target = std::min(c.startMs + msBetween(c.at, now), c.limitMs);
    if (c.jump) {
        c.jump = false;
        s->shownMs = target;
        return target;
    }
    double free = s->shownMs + dt, error = target - free;
    double next = error > CLOCK_SNAP_MS
                      ? target
                      : free + std::clamp(error * -std::expm1(-dt / CLOCK_FOLLOW_MS),
                                          -CLOCK_SLEW * dt, CLOCK_SLEW * dt);
    s->shownMs = std::max(s->shownMs, std::min(next, c.limitMs));
    return s->shownMs;
}

// Decodes the next run of frames into the stage, never more than it holds. False at the end of
// a non-looping stream. A looping one starts over and sets *wrapped and passFrames.
bool refillStage(FSOUND_STREAM* s, bool* wrapped)
{
    s->stageStart += s->stageCount;
    s->stageCount = 0;
    for (int attempt = 0; attempt < 64; attempt++) {
        int link = 0;
        long got = ov_read(&s->vorbis, reinterpret_cast<char*>(s->stage), (int)sizeof s->stage, 0,
                           2, 1, &link);
        if (got == OV_HOLE)
            continue;
        if (got > 0) {
            vorbis_info* info = ov_info(&s->vorbis, link);
            s->stageChannels = info && info->channels > 0 ? info->channels : 1;
            s->stageCount = (int)(got / 2 / s->stageChannels);
            s->decodedFrames += s->stageCount;
            return true;
        }
        // The end, or a stream damaged past repair: both end the stream here.
        // A stream that gave nothing since its start cannot loop.
        if (!s->loop || s->stageStart == 0)
            return false;
        if (ov_pcm_seek(&s->vorbis, 0) != 0)
            return false;
        s->passFrames = s->stageStart;
        s->stageStart = 0;
        *wrapped = true;
    }
    return false;
}

// One frame as stereo, in sample units. Mono goes to both sides. 3 to 8 channels come in the
// Vorbis order (front left, centre, front right, then the side and rear pairs, LFE last) and are
// downmixed with the centre and surrounds at -3 dB and without the LFE, scaled so that a
// full-scale input cannot clip. Wider layouts have no defined order and play their first two.
void stereoFrame(const int16_t* in, int channels, float* left, float* right)
{
    constexpr float H = 0.70710678f;
    static const float gains[6][8][2] = {
        {{1, 0}, {H, H}, {0, 1}},
        {{1, 0}, {0, 1}, {H, 0}, {0, H}},
        {{1, 0}, {H, H}, {0, 1}, {H, 0}, {0, H}},
        {{1, 0}, {H, H}, {0, 1}, {H, 0}, {0, H}, {0, 0}},
        {{1, 0}, {H, H}, {0, 1}, {H, 0}, {0, H}, {0.5f, 0.5f}, {0, 0}},
        {{1, 0}, {H, H}, {0, 1}, {H, 0}, {0, H}, {H, 0}, {0, H}, {0, 0}},
    };
    if (channels < 3 || channels > 8) {
        *left = in[0];
        *right = in[channels > 1 ? 1 : 0];
        return;
    }
    const float(*g)[2] = gains[channels - 3];
    float l = 0.0f, r = 0.0f, sum = 0.0f;
    for (int c = 0; c < channels; c++) {
        l += g[c][0] * in[c];
        r += g[c][1] * in[c];
        sum += g[c][0];
    }
    *left = l / sum;
    *right = r / sum;
}

// The frame at the play position of a stream at the mix rate. False at its end.
bool stagedFrame(FSOUND_STREAM* s, float* frame)
{
    bool wrapped = false;
    while ((int64_t)s->playPos >= s->stageStart + s->stageCount) {
        if (!refillStage(s, &wrapped))
            return false;
        if (wrapped)
            s->playPos -= (double)s->passFrames;
        wrapped = false;
    }
    int64_t f = (int64_t)s->playPos - s->stageStart;
    stereoFrame(&s->stage[f * s->stageChannels], s->stageChannels, &frame[0], &frame[1]);
    return true;
}

// The next frame at the mix rate of a stream at another rate. False once all of it is out.
bool resampledFrame(FSOUND_STREAM* s, float* frame)
{
    while (s->outUsed == s->outCount) {
        if (s->inUsed == s->inCount && !s->inputEnded) {
            bool wrapped = false;   // the resampler runs on over the loop point
            if (refillStage(s, &wrapped)) {
                float* in = s->resampleIn.data();
                for (int i = 0; i < s->stageCount; i++) {
                    stereoFrame(&s->stage[i * s->stageChannels], s->stageChannels, &in[2 * i],
                                &in[2 * i + 1]);
                    in[2 * i] /= 32768.0f;
                    in[2 * i + 1] /= 32768.0f;
                }
                s->inUsed = 0;
                s->inCount = s->stageCount;
            } else {
                s->inputEnded = true;
            }
        }
        SRC_DATA run{};
        run.data_in = s->resampleIn.data() + 2 * s->inUsed;
        run.input_frames = s->inCount - s->inUsed;
        run.data_out = s->resampleOut.data();
        run.output_frames = RESAMPLED_FRAMES;
        run.end_of_input = s->inputEnded;
        run.src_ratio = s->resampleRatio;
        if (src_process(s->resampler, &run) != 0 ||
            (run.input_frames > 0 && run.input_frames_used == 0 && run.output_frames_gen == 0))
            return false;   // a resampler that makes no headway ends the stream
        s->inUsed += (int)run.input_frames_used;
        s->outUsed = 0;
        s->outCount = (int)run.output_frames_gen;
        if (s->outCount == 0 && s->inputEnded)
            return false;
    }
    frame[0] = s->resampleOut[2 * s->outUsed] * 32768.0f;
    frame[1] = s->resampleOut[2 * s->outUsed + 1] * 32768.0f;
    s->outUsed++;
    return true;
}

void seekStream(FSOUND_STREAM* s, int64_t frame)
{
    if (s->loop && s->totalFrames > 0)
        frame %= s->totalFrames;
    s->stageStart = frame;
    s->stageCount = 0;
    s->playPos = (double)frame;
    s->decodedFrames = s->mixedFrames = 0;
    if (s->resampler) {
        src_reset(s->resampler);
        s->inUsed = s->inCount = s->outUsed = s->outCount = 0;
        s->inputEnded = false;
    }
    if (frame >= s->totalFrames || ov_pcm_seek(&s->vorbis, frame) != 0) {
        s->endState = EndState::END_DECODED;
        return;
    }
    s->endState = EndState::PLAYING;
}

// Puts a mixed buffer (one segment, or two across a loop restart) on the clock.
void publish(FSOUND_STREAM* s, ClockSegment first, const ClockSegment* second, double mixedEndMs)
{
    std::lock_guard<std::mutex> lock(s->clockLock);
    if (s->pendingSeek >= 0)
        return;   // a seek came in while this buffer was made; it publishes itself
    // Without a real-time output the mix is what is heard: no following, no slewing.
    bool exact = sound.outputType == FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    first.jump |= s->jumpNext || exact;
    s->jumpNext = false;
    s->segments.push_back(first);
    if (second) {
        s->segments.push_back(*second);
        s->segments.back().jump |= exact;
    }
    while (s->segments.size() > CLOCK_SEGMENTS) {
        s->segments[1].jump |= s->segments[0].jump;
        s->segments.pop_front();
    }
    s->mixedEndMs = mixedEndMs;
}

// Adds one buffer of the stream to the mix; its first frame is heard at `at`.
void mixStream(FSOUND_STREAM* s, int16_t* out, int frames, int mixRate, SteadyClock::time_point at,
               int span)
{
    int64_t seek;
    {
        std::lock_guard<std::mutex> lock(s->clockLock);
        seek = s->pendingSeek;
        s->pendingSeek = -1;
    }
    if (seek >= 0)
        seekStream(s, seek);

    bool realTime = sound.outputType != FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    if (s->endState == EndState::END_DECODED && seek < 0 &&
        (!realTime || SteadyClock::now() >= s->endHeardAt)) {
        // The end has been heard.
        s->endState = EndState::ENDED;
        if (s->endCallback)
            s->endCallback(s, nullptr, 0, s->endUserData);
    }

    // Pausing froze the clock already; this buffer stays silent.
    if (s->paused.load())
        return;
    double startMs = std::min(framesToMs(s, s->playPos), s->lengthMs);
    if (s->endState != EndState::PLAYING) {
        publish(s, {startMs, startMs, at, false}, nullptr, startMs);   // it stands at the end
        return;
    }

    const double frameMs = 1000.0 / mixRate;   // output frames and stream time alike
    int wrapFrame = -1;   // the first output frame of a new pass, if the loop restarts here
    double wrapMs = 0.0;
    double step = (double)s->rate / (double)mixRate;
    for (int i = 0; i < frames; i++) {
        float frame[2];
        double before = s->playPos;
        if (!(s->resampler ? resampledFrame(s, frame) : stagedFrame(s, frame))) {
            s->endState = EndState::END_DECODED;
            s->endHeardAt = at + msDuration(i * frameMs);
            s->playPos = (double)(s->stageStart + s->stageCount);   // all of it has been heard
            break;
        }
        if (s->playPos < before && wrapFrame < 0) {
            wrapFrame = i;
            wrapMs = framesToMs(s, s->playPos);
        }
        for (int c = 0; c < 2; c++) {
            int v = out[2 * i + c] + (int)std::lrint(std::clamp(frame[c], -32768.0f, 32767.0f));
            out[2 * i + c] = (int16_t)std::clamp(v, -32768, 32767);
        }
        s->mixedFrames++;
        s->playPos += step;
        // The resampler took the loop point earlier; the clock passes it here.
        if (s->resampler && s->passFrames > 0 && s->playPos >= (double)s->passFrames) {
            s->playPos = std::fmod(s->playPos, (double)s->passFrames);
            if (wrapFrame < 0) {
                wrapFrame = i + 1;
                wrapMs = framesToMs(s, s->playPos);
            }
        }
    }
    double endMs = std::min(framesToMs(s, s->playPos), s->lengthMs);
    if (wrapFrame < 0) {
        double limitMs = std::min(startMs + frames * span * frameMs, s->lengthMs);
        publish(s, {startMs, limitMs, at, false}, nullptr, endMs);
        return;
    }
    SteadyClock::time_point wrapAt = at + msDuration(wrapFrame * frameMs);
    ClockSegment restart{wrapMs, wrapMs + (frames - wrapFrame) * span * frameMs, wrapAt, true};
    publish(s, {startMs, s->lengthMs, at, false}, &restart, endMs);
}

// Mixes one output buffer whose first frame is heard at the given moment, which the added
// delay moves on. The clock may run on for `span` buffers past its start before the next buffer.
void mixOutput(int16_t* out, int frames, SteadyClock::time_point at, int span)
{
    std::memset(out, 0, (size_t)frames * 2 * sizeof(int16_t));
    at += msDuration(sound.addedDelayMs.load());
    std::lock_guard<std::mutex> lock(sound.mixLock);
    for (FSOUND_STREAM* s : sound.streams)
        if (s->channel >= 0)
            mixStream(s, out, frames, sound.mixRate, at, span);
}

void destroyStream(FSOUND_STREAM* s)
{
    if (s->resampler)
        src_delete(s->resampler);
    ov_clear(&s->vorbis);
    delete s;
}

bool isOpenStream(FSOUND_STREAM* s)
{
    return s && std::find(sound.streams.begin(), sound.streams.end(), s) != sound.streams.end();
}

}   // namespace

float FSOUND_GetVersion()
{
    float v = sound.reportedVersion.load();
    return v != 0.0f ? v : SOUND_LIBRARY_VERSION;
}

void soundReportVersionForTesting(float version)
{
    sound.reportedVersion.store(version);
}

void soundMixForTesting(int16_t* out, int frames)
{
    mixOutput(out, frames, SteadyClock::now(), 1);
}

SoundStreamCounts soundStreamCountsForTesting(FSOUND_STREAM* stream)
{
    std::lock_guard<std::mutex> lock(sound.mixLock);
    return {stream->decodedFrames, stream->mixedFrames, stream->rate};
}

double soundClockDelayForTesting(FSOUND_STREAM* stream)
{
    std::lock_guard<std::mutex> lock(stream->clockLock);
    return stream->mixedEndMs - readClock(stream, SteadyClock::now());
}

std::string soundListDevices(std::vector<SoundDevice>* devices)
{
    return soundOutputDevices(devices);
}

void soundSetDevice(const std::string& name)
{
    sound.device = name;
}

void soundSetAddedDelay(double ms)
{
    sound.addedDelayMs.store(std::clamp(ms, -1000.0, 1000.0));
}

SoundOutputState soundOutputState()
{
    SoundOutputState state = soundOutputNow();
    state.addedMs = sound.addedDelayMs.load();
    return state;
}

signed char FSOUND_SetOutput(int outputType)
{
    if (sound.initialised)
        return fail(FMOD_ERR_BUSY);
    sound.outputType = outputType;
    return true;
}

signed char FSOUND_SetDriver(int driver)
{
    if (sound.initialised)
        return fail(FMOD_ERR_BUSY);
    // Only the default device is offered; any other driver number is refused.
    if (driver != 0)
        return fail(FMOD_ERR_INVALID_PARAM);
    return true;
}

signed char FSOUND_Init(int mixRate, int, unsigned)
{
    if (sound.initialised)
        return fail(FMOD_ERR_BUSY);
    if (mixRate < 4000 || mixRate > 192000)
        return fail(FMOD_ERR_INVALID_PARAM);
    sound.mixRate = mixRate;
    if (!openSoundOutput(sound.outputType, mixRate, sound.device, mixOutput))
        return fail(FMOD_ERR_INIT);
    sound.initialised = true;
    sound.lastError.store(FMOD_ERR_NONE);
    return true;
}

void FSOUND_Close()
{
    if (!sound.initialised)
        return;
    closeSoundOutput();
    std::lock_guard<std::mutex> lock(sound.mixLock);
    for (FSOUND_STREAM* s : sound.streams)
        destroyStream(s);
    sound.streams.clear();
    sound.nextChannel = 0;
    sound.initialised = false;
}

int FSOUND_GetError()
{
    return sound.lastError.load();
}

FSOUND_STREAM* FSOUND_Stream_Open(const char* data, unsigned mode, int offset, int length)
{
    if (!sound.initialised) {
        fail(FMOD_ERR_UNINITIALIZED);
        return nullptr;
    }
    if (!(mode & FSOUND_LOADMEMORY) || !data || offset < 0 || length < offset) {
        fail(FMOD_ERR_INVALID_PARAM);
        return nullptr;
    }
    FSOUND_STREAM* s = new (std::nothrow) FSOUND_STREAM;
    if (!s) {
        fail(FMOD_ERR_MEMORY);
        return nullptr;
    }
    s->data = reinterpret_cast<const unsigned char*>(data) + offset;
    s->size = length - offset;
    s->loop = (mode & FSOUND_LOOP_NORMAL) != 0;
    ov_callbacks callbacks{memoryRead, memorySeek, nullptr, memoryTell};
    int result = ov_open_callbacks(s, &s->vorbis, nullptr, 0, callbacks);
    if (result != 0) {
        delete s;   // a failed open has already cleared the decoder
        fail(result == OV_ENOTVORBIS ? FMOD_ERR_FILE_FORMAT : FMOD_ERR_FILE_BAD);
        return nullptr;
    }
    vorbis_info* info = ov_info(&s->vorbis, -1);
    ogg_int64_t total = ov_pcm_total(&s->vorbis, -1);
    if (!info || info->rate <= 0 || total < 0 || !ov_seekable(&s->vorbis)) {
        destroyStream(s);
        fail(FMOD_ERR_FILE_BAD);
        return nullptr;
    }
    s->rate = info->rate;
    s->totalFrames = total;
    s->lengthMs = framesToMs(s, (double)total);
    if (s->rate != sound.mixRate) {
        s->resampleRatio = (double)sound.mixRate / (double)s->rate;
        int error = 0;
        if (!src_is_valid_ratio(s->resampleRatio)) {
            destroyStream(s);
            fail(FMOD_ERR_FILE_FORMAT);   // a rate too far from the mix rate to convert
            return nullptr;
        }
        // The cheapest of the band-limited converters, paid for on the output thread every
        // buffer: the same rejection as the better ones, with a passband to 80% of Nyquist.
        s->resampler = src_new(SRC_SINC_FASTEST, 2, &error);
        if (!s->resampler) {
            destroyStream(s);
            fail(FMOD_ERR_MEMORY);
            return nullptr;
        }
        s->resampleIn.resize(STAGE_SAMPLES * 2);   // a stage of mono frames, as stereo
        s->resampleOut.resize(RESAMPLED_FRAMES * 2);
    }
    std::lock_guard<std::mutex> lock(sound.mixLock);
    sound.streams.push_back(s);
    return s;
}

signed char FSOUND_Stream_Close(FSOUND_STREAM* stream)
{
    std::lock_guard<std::mutex> lock(sound.mixLock);
    if (!isOpenStream(stream))
        return fail(FMOD_ERR_INVALID_PARAM);
    sound.streams.erase(std::find(sound.streams.begin(), sound.streams.end(), stream));
    destroyStream(stream);
    return true;
}

signed char FSOUND_Stream_SetEndCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                         void* userData)
{
    std::lock_guard<std::mutex> lock(sound.mixLock);
    if (!isOpenStream(stream))
        return fail(FMOD_ERR_INVALID_PARAM);
    stream->endCallback = callback;
    stream->endUserData = userData;
    return true;
}

signed char FSOUND_Stream_SetSyncCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                          void* userData)
{
    std::lock_guard<std::mutex> lock(sound.mixLock);
    if (!isOpenStream(stream))
        return fail(FMOD_ERR_INVALID_PARAM);
    stream->syncCallback = callback;
    stream->syncUserData = userData;
    return true;
}

int FSOUND_Stream_PlayEx(int channel, FSOUND_STREAM* stream, FSOUND_DSPUNIT*,
                         signed char startPaused)
{
    std::lock_guard<std::mutex> lock(sound.mixLock);
    if (!isOpenStream(stream) || channel < FSOUND_FREE) {
        fail(FMOD_ERR_INVALID_PARAM);
        return -1;
    }
    if (stream->channel < 0) {
        if (channel == FSOUND_FREE)
            channel = sound.nextChannel;
        for (FSOUND_STREAM* other : sound.streams)
            if (other->channel == channel) {
                fail(FMOD_ERR_CHANNEL_ALLOC);
                return -1;
            }
        stream->channel = channel;
        sound.nextChannel = std::max(sound.nextChannel, channel + 1);
    }
    stream->paused.store(startPaused != 0);
    return stream->channel;
}

signed char FSOUND_SetPaused(int channel, signed char paused)
{
    std::lock_guard<std::mutex> lock(sound.mixLock);
    for (FSOUND_STREAM* s : sound.streams) {
        if (s->channel != channel || channel < 0)
            continue;
        if (paused) {
            // Freeze the clock where it stands now, not where the last buffer began.
            std::lock_guard<std::mutex> clock(s->clockLock);
            readClock(s, SteadyClock::now());
            s->segments.clear();
        }
        s->paused.store(paused != 0);
        return true;
    }
    return fail(FMOD_ERR_INVALID_PARAM);
}

int FSOUND_Stream_GetTime(FSOUND_STREAM* stream)
{
    if (!stream)
        return fail(FMOD_ERR_INVALID_PARAM);
    std::lock_guard<std::mutex> lock(stream->clockLock);
    return (int)readClock(stream, SteadyClock::now());
}

signed char FSOUND_Stream_SetTime(FSOUND_STREAM* stream, int ms)
{
    if (!stream)
        return fail(FMOD_ERR_INVALID_PARAM);
    // The first frame at or after the time, so that GetTime reads back the same millisecond.
    int64_t frame = ((int64_t)std::max(ms, 0) * stream->rate + 999) / 1000;
    std::lock_guard<std::mutex> lock(stream->clockLock);
    stream->pendingSeek = frame;
    double target = framesToMs(stream, (double)frame);
    if (stream->loop && stream->totalFrames > 0)
        target = framesToMs(stream, (double)(frame % stream->totalFrames));
    target = std::min(target, stream->lengthMs);
    stream->segments.clear();
    stream->shownMs = target;
    stream->shownAt = SteadyClock::now();
    stream->jumpNext = true;
    return true;
}

int FSOUND_Stream_GetLengthMs(FSOUND_STREAM* stream)
{
    if (!stream)
        return fail(FMOD_ERR_INVALID_PARAM);
    return (int)stream->lengthMs;
}
