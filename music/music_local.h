// What music/ and its tests share beyond music/music.h: the open stream and the sound library's
// callbacks and error texts. The sound library itself is music/sound.h.
#pragma once

#include "music/music.h"

#include <cstdint>

struct FSOUND_STREAM;

extern float musicTempo;           // beats per minute, from openMusic
extern unsigned char* musicData;   // the whole file; the stream plays from it
extern FSOUND_STREAM* musicStream;
extern int32_t musicChannel;   // -1 until the stream plays

// The stream's end (buffer null: one more quit request) and sync notification.
signed char musicCallback(FSOUND_STREAM* stream, void* buffer, int length, void* userData);
const char* soundErrorText(unsigned code);
