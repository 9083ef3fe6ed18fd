// The offline modes: frame capture to PNG files or a video, the contact sheet and the benchmark.
// They render the show exactly as a live run would, on a hidden window, with the show clock
// driven frame by frame instead of by the music device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Runs whichever of --capture, --contact-sheet or --benchmark was given; returns the exit status.
int runOfflineMode();

// Show time of capture frame n: from + n x tempo / (60 x 16 x fps) patterns, in double.
double captureFrameTime(double from, double fps, double tempo, int64_t n);
// Number of frames whose time lies below `to`.
int64_t captureFrameCount(double from, double to, double fps, double tempo);

// Video containers go to ffmpeg; every other path is a folder of numbered PNG files.
bool isVideoPath(const std::string& path);
// "000042.png"
std::string frameFileName(int64_t n);
// True when the folder holds a numbered frame already.
bool folderHoldsFrames(const std::string& folder);

// Area-averaged resize of an RGB image (rows packed, 3 bytes a pixel), for the thumbnails.
void resizeAreaRGB(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth,
                   int dstHeight);

// Where a picture's pixels are: its first row (the top one), the step from a row to the one below
// (negative for rows stored bottom first), the bytes a pixel and the offsets of red, green, blue.
struct PixelLayout {
    const uint8_t* top;
    ptrdiff_t rowStep;
    int pixelBytes;
    int red, green, blue;
};

// The picture as planar YUV 4:2:0 in studio range (BT.601, as video players assume at this size):
// the Y plane, then U and V at half the width and height (rounded up), each chroma sample from
// the mean of the 2 x 2 pixels it covers.
std::vector<uint8_t> toYuv420(const PixelLayout& pixels, int width, int height);

// The value below which the given fraction of the samples lie (nearest rank); 0 for none.
double percentileOf(std::vector<double> samples, double fraction);

// An RGB image (rows top first) as the bytes of a PNG file; empty if the
// compressor cannot be had. Fast settings: libdeflate at level 1 and the "up" filter
// (bench/png_bench.cpp weighs them against libpng and libspng).
constexpr int PNG_FAST_LEVEL = 1;
std::vector<uint8_t> encodePngRGB(const uint8_t* rgb, int width, int height);

// Writes that PNG through a temporary file renamed into place, so a frame on disk is always
// whole. On failure returns false with the reason in *error.
bool writePngRGB(const std::string& path, const uint8_t* rgb, int width, int height,
                 std::string* error);

// The frame sink (frame_sink.cpp): one per process, opened once by --capture.
// A target is refused before anything renders: no silent overwrite, no unwritable place.
[[noreturn]] void fatalErrorText(const std::string& text);   // fatalError of a std::string
void makeFolder(const std::string& folder);                  // mkdir -p, then a probe write
void checkFileTarget(const std::string& path);
bool findOnPath(const char* program);
// Starts the workers, and for a video path the ffmpeg process, which cuts the music to the range.
// Frames of width x height come in factor times larger and are reduced by area averaging.
void openSink(const std::string& path, int width, int height, double from, double to, double fps,
              int factor);
// Queues one frame (BGRA, bottom row first, as read back); waits while the workers are behind. A
// worker's failure ends the program once the frames before the failed one are written.
void submitFrame(int64_t index, std::vector<uint8_t>&& bgra);
// Reads the frame just drawn (width x height from the origin of the bound frame buffer) and hands
// the one before it to the sink; finishReadBack hands over the last.
void readBackFrame(int64_t index, int width, int height);
void finishReadBack();
// Waits for every frame and for ffmpeg; ends the program on any failure.
void closeSink();
// The back buffer, top row first, 3 bytes a pixel.
std::vector<uint8_t> readFrame(int width, int height);
