// Interim show clock on the wall clock, until the music stream drives it.
#include "music/music.h"

#include "app/app.h"

#include <SDL.h>

#include <cstdio>

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

float showTime()
{
    double ms = (double)(SDL_GetTicks() - clockStart) + clockOffsetMs;
    return (float)(ms / 60000.0 * musicTempo / 16.0);
}

void seekShowTime(float p)
{
    clockStart = SDL_GetTicks();
    clockOffsetMs = (double)(int32_t)((double)p * 16.0 / musicTempo * 60000.0);
}

void closeMusic() {}
