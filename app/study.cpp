// Study mode: the overlay of where the show is (Tab), frame stepping while the picture is held
// (Right, Left; with Shift by rows) and one scene's window on repeat (--scene N with loop). Only
// the live loop calls it; captures, contact sheets and the benchmark draw through the timeline
// alone, so the overlay can never reach them.
#include "app/app_local.h"
#include "app/platform.h"      // the window, for its display's refresh rate
#include "effects/effects.h"   // drawScreenText
#include "music/music.h"       // the clock, the hold and seeking
#include "render/render.h"     // TEX_NO_MIPMAP
#include "show/show.h"         // the window table
#include "support/os.h"        // isReadableFile
#include "texture/texture.h"   // loadTexture

#include <SDL.h>

#include <cmath>
#include <cstdio>

StudyState study;

namespace {

constexpr int32_t ROWS_PER_PATTERN = 64;
constexpr double DEFAULT_DISPLAY_RATE = 60.0;
// The overlay's character cell on a 480-line window, and its margin; taller windows scale both
// by whole steps, so the glyphs stay sharp. Three lines fit the bar above the letterbox; in a
// scaled full screen, which shows no bar, they lie over the picture's corner.
constexpr int32_t CELL_WIDTH = 8, CELL_HEIGHT = 16, MARGIN = 6, BASE_HEIGHT = 480;

double patternsToSeconds(double patterns)
{
    return millisecondsFromPatterns(patterns, SHOW_TEMPO) / 1000.0;
}

double displayRefreshRate()
{
    SDL_DisplayMode mode{};
    SDL_Window* window = platformWindow();
    if (window && SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    int display = window ? SDL_GetWindowDisplayIndex(window) : 0;
    if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return DEFAULT_DISPLAY_RATE;
}

// The font on first use. A data directory without it warns once and shows no overlay; a damaged
// file is fatal, as every data file is.
Texture* overlayFont()
{
    if (study.font || study.fontMissing)
        return study.font;
    std::string colour = dataPath("font.jpg"), mask = dataPath("font_a.jpg");
    for (const std::string& path : {colour, mask}) {
        if (!isReadableFile(path)) {
            study.fontMissing = true;
            warningMessage((path + " not found: the study overlay cannot be shown").c_str());
            return nullptr;
        }
    }
    study.font = loadTexture(colour.c_str(), mask.c_str(), nullptr, Vec3{1, 1, 1}, TEX_NO_MIPMAP);
    return study.font;
}

// Frames over the last whole second.
void countFrame()
{
    uint64_t now = SDL_GetPerformanceCounter();
    double elapsed = (double)(now - study.secondStart) / (double)SDL_GetPerformanceFrequency();
    study.framesCounted++;
    if (elapsed >= 1.0) {
        study.framesPerSecond = (float)(study.framesCounted / elapsed);
        study.frameMs = (float)(elapsed * 1000.0 / study.framesCounted);
        study.framesCounted = 0;
        study.secondStart = now;
    }
}

// Where a hold may stand: within the music (wrapping round with the loop, before its start
// only without it, as a seek may go) and never at 0, which would mean no hold. Sets *stopped
// when the end of the music stopped it.
float heldTimeAt(double t, bool* stopped = nullptr)
{
    double length = musicLengthPatterns();
    if (length > 0.0 && displaySettings.loop)
        t -= length * std::floor(t / length);
    else if (length > 0.0 && t > length) {
        t = length;
        if (stopped)
            *stopped = true;
    }
    float held = (float)t;
    return held == 0.0f ? std::nextafter(0.0f, 1.0f) : held;
}

void holdAt(float t)
{
    heldTime = t;
    seekShowTime(t);
}

MusicState musicStateAt(float t)
{
    if (heldTime != 0.0f)
        return MUSIC_HELD;
    double length = musicLengthPatterns();
    return length > 0.0 && t >= length ? MUSIC_ENDED : MUSIC_PLAYING;
}

}   // namespace

std::vector<std::string> overlayLines(const OverlayFacts& f)
{
    char line[3][128];
    std::snprintf(line[0], sizeof line[0], "show %.3f patterns  %.3f s  delay %.0f%+.0f ms",
                  (double)f.time, patternsToSeconds(f.time), (double)f.reportedDelayMs,
                  (double)f.addedDelayMs);

    // Rows counted from 0, so that before the show the row still runs 0 ... 63 upward.
    double rows = std::floor((double)f.time * ROWS_PER_PATTERN);
    double pattern = std::floor(rows / ROWS_PER_PATTERN);
    SceneCall call = sceneCallAt(f.time);
    int n = std::snprintf(line[1], sizeof line[1], "pattern %.0f row %.0f  ", pattern,
                          rows - pattern * ROWS_PER_PATTERN);
    if (call.scene)
        std::snprintf(line[1] + n, sizeof line[1] - n, "scene %d  local %.3f", call.scene,
                      (double)call.local);
    else
        std::snprintf(line[1] + n, sizeof line[1] - n, "after the show");

    static const char* const MUSIC[] = {"playing", "held", "ended"};
    if (f.framesPerSecond > 0.0f)
        n = std::snprintf(line[2], sizeof line[2], "%.1f fps  %.1f ms  music %s",
                          (double)f.framesPerSecond, (double)f.frameMs, MUSIC[f.music]);
    else
        n = std::snprintf(line[2], sizeof line[2], "-- fps  -- ms  music %s", MUSIC[f.music]);
    if (f.repeatScene)
        std::snprintf(line[2] + n, sizeof line[2] - n, "  repeating scene %d", f.repeatScene);
    return {line[0], line[1], line[2]};
}

void startStudyMode()
{
    study.displayRate = displayRefreshRate();
    int32_t scene = programOptions.scene;
    if (!scene)
        return;
    SceneSpan window = firstSceneWindow(scene);
    if (!programOptions.startGiven)
        seekShowTime(window.start);
    if (displaySettings.loop) {
        study.repeatScene = scene;
        study.repeatStart = window.start;
        study.repeatEnd = window.end;
    }
}

float studyFrameTime()
{
    float t = showTime();
    if (!study.repeatScene || heldTime != 0.0f)
        return t;
    bool inside = t >= study.repeatStart && t < study.repeatEnd;
    // The first pass begins where --start put it, also outside the window; once the window has
    // been reached, leaving it sends the clock back to its start.
    study.repeatReached = study.repeatReached || inside;
    if (study.repeatReached && !inside) {
        seekShowTime(study.repeatStart);
        t = showTime();
    }
    return t;
}

void drawStudyOverlay(float t)
{
    if (!study.overlay)
        return;
    countFrame();
    Texture* font = overlayFont();
    if (!font)
        return;
    MusicDelay delay = musicDelay();
    OverlayFacts facts{t,
                       study.framesPerSecond,
                       study.frameMs,
                       musicStateAt(t),
                       study.repeatScene,
                       (float)delay.reportedMs,
                       (float)delay.addedMs};
    std::vector<std::string> lines = overlayLines(facts);
    const char* text[3] = {lines[0].c_str(), lines[1].c_str(), lines[2].c_str()};
    beginWindowOverlay();
    int32_t scale = std::max(1, (int)frameRecord.height / BASE_HEIGHT);
    drawScreenText(font, text, 3, MARGIN * scale, MARGIN * scale, CELL_WIDTH * scale,
                   CELL_HEIGHT * scale);
    endWindowOverlay();
}

void toggleStudyOverlay()
{
    study.overlay = !study.overlay;
    // The rate is measured afresh from now: the frames while off were not counted.
    study.secondStart = SDL_GetPerformanceCounter();
    study.framesCounted = 0;
    study.framesPerSecond = study.frameMs = 0.0f;
}

void stepHeldTime(int direction, bool byRow)
{
    if (heldTime == 0.0f)
        return;
    if (heldTime != study.stepResult) {   // a new hold: count from where it stands
        study.stepBase = heldTime;
        study.frameSteps = study.rowSteps = 0;
    }
    (byRow ? study.rowSteps : study.frameSteps) += direction;
    double framePatterns = patternsFromMilliseconds(1000.0 / study.displayRate, SHOW_TEMPO);
    bool stopped = false;
    float t = heldTimeAt(study.stepBase + (double)study.frameSteps * framePatterns +
                             (double)study.rowSteps / ROWS_PER_PATTERN,
                         &stopped);
    if (stopped) {   // at the end: count afresh from there, so that one step back leaves it
        study.stepBase = t;
        study.frameSteps = study.rowSteps = 0;
    }
    study.stepResult = t;
    holdAt(t);
}

void toggleHold()
{
    if (heldTime == 0.0f) {
        holdAt(heldTimeAt(showTime()));
        return;
    }
    // On from the picture that stood. At the end of the music that is the end of the show.
    float t = heldTime;
    heldTime = 0.0f;
    seekShowTime(t);
}

void moveShowTime(double patterns)
{
    if (heldTime != 0.0f)
        holdAt(heldTimeAt(patterns));
    else
        seekShowTime((float)patterns);
}
