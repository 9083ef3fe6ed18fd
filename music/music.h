// Music and clock: the music stream and the show clock in patterns.
#pragma once

#include <cstdint>

extern float musicTempo;
extern float heldTime;

void openMusic(const char* fileName, float tempo, int loop);
float showTime();
void seekShowTime(float patterns);
void closeMusic();
