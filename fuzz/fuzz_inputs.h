// What the fuzz targets do with one input. The robustness tests replay the inputs kept in
// fuzz/regressions/ through the same functions, so a fixed crash stays fixed.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes the bytes as a JPEG file and assembles the RGBA image the loaders would make of it:
// padded to powers of two with no alpha source, its own red channel as the mask, or an alpha
// function, inverted or not (chosen by the input's size); square power-of-two images of up to
// 64 texels also become a blur atlas. True when the bytes decoded. Aborts when a failure
// comes without a reason or a decoded image has no size.
bool fuzzJpegInput(const uint8_t* data, size_t size);

// The first byte chooses looping and up to seven seeks; the rest is opened as a music stream on
// the output that consumes nothing unless asked, and mixed buffer by buffer to its end. True
// when the stream opened. Aborts when a failed open gives no error code, when a stream that
// does not loop fails to end once within what its length and size allow, or when it ends with
// fewer or more frames mixed than its decoder delivered since the last seek.
bool fuzzMusicInput(const uint8_t* data, size_t size);
