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

// Show time of capture frame n: from plus the patterns of n / fps seconds, in double.
double captureFrameTime(double from, double fps, double tempo, int64_t n);
// Number of frames whose time lies below `to`.
int64_t captureFrameCount(double from, double to, double fps, double tempo);

// The container a capture path names by its extension, in any case: "mp4", "mov", "matroska"
// (.mkv) or "webm", as ffmpeg calls them; null for any other path, which is a folder of numbered
// PNG files.
const char* videoContainer(const std::string& path);
// "000042.png"
std::string frameFileName(int64_t n);
// True when the folder holds a numbered frame already.
bool folderHoldsFrames(const std::string& folder);
// Removes the folder's numbered frames and the temporary files of frames cut short, so that a
// capture replacing another leaves none of the old one behind. False with the reason in *error.
bool removeFrames(const std::string& folder, std::string* error);

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

// The picture's pixels as B, G, R and a byte of padding, rows top first: what a lossless master
// takes from the read-back as it is.
std::vector<uint8_t> toBgr0(const PixelLayout& pixels, int width, int height);

// The picture as planar YUV 4:2:0, BT.709 in studio range (what players and video sites assume,
// and what the video is labelled with): the Y plane, then U and V at half the width and height
// (rounded up), each chroma sample from the mean of the 2 x 2 pixels it covers.
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
// What a capture makes.
struct CaptureSetup {
    std::string path;    // a folder of PNG files, or a video (videoContainer)
    int width, height;   // of the frames written
    int factor;          // frames are drawn this many times larger and reduced by area averaging
    double from, fps;    // show time of frame 0 in patterns, frames a second
    int64_t frames;      // how many; a video's sound lasts as long as they do
    bool lossless;       // a video of FFV1 (RGB) and FLAC
};
// Starts the workers, and for a video the ffmpeg process, which cuts the music to the frames'
// time. A video is written to a temporary file beside the target and renamed into place only when
// everything succeeded.
void openSink(const CaptureSetup& setup);
// A buffer of `size` bytes to read the next frame into, once the queue has room for it: the
// frames held are bounded in number and in bytes. Where the workers cannot keep up (a machine
// busy with other work), they leave the idle scheduling class. False once a worker has failed (an
// allocation among them): the capture stops there, and closeSink says why.
bool sinkBuffer(size_t size, std::vector<uint8_t>* buffer);
// Queues one frame (BGRA, bottom row first, as read back) in a buffer from sinkBuffer.
void submitFrame(int64_t index, std::vector<uint8_t>&& bgra);
// Waits for every frame and for ffmpeg and returns the failure of the lowest failed frame (the
// frames before it written) or of ffmpeg; empty when everything was written and the video is in
// place.
std::string closeSink();
// Ends an unfinished video: ffmpeg killed, its temporary file removed. For the fatal error and
// the signals that end a capture; safe in a signal handler.
void abandonCapture();
