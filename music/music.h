// Music and clock: the music stream and the show clock in patterns.
#pragma once

#include <cstdint>

extern float musicTempo;
extern float heldTime;

void openMusic(const char* fileName, float tempo, int loop);
float showTime();
void seekShowTime(float patterns);
void closeMusic();

// Offline rendering: the stream is read and opened as for a live run, but no device plays it;
// the show clock then reads the time set for each frame.
void openMusicForCapture(const char* fileName, float tempo);
void setCaptureTime(double patterns);
double musicLengthPatterns();   // the stream's length at the tempo
