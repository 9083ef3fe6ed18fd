// Support: the small numeric helpers every subsystem shares, the program's own pi, the one shared
// random generator and the scratch memory pool.
//
// The random generator is bit-exact: all generated content (textures, point sets, fractals)
// depends on its sequence, and several generators assign randomSeed first so they repeat.
// The scratch pool is a 32 MiB stack: blocks come back in reverse order, and releasing one
// releases everything allocated after it. Exhaustion and a bad release are fatal.
// Nothing here is thread-safe; it all belongs to the main thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The program's value of pi. It is 0.00001 below the real one, and the motion of the show
// depends on it, so every angle in the program uses these and never M_PI.
constexpr double PI = 3.141582653589793;
constexpr double TWO_PI = 6.283165307179586;
constexpr double HALF_PI = 1.5707913267948965;

struct Vec3 {
    float x, y, z;
};

// A spline control point: the key is carried along but not used by the evaluation.
struct Splinept {
    int32_t key;
    float x, y, z;
};

Vec3* makeVec3(Vec3* out, float x, float y, float z);
long double dot3(const Vec3* a, const Vec3* b);
void normalize3(Vec3* v);
Vec3* triangleNormal(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* out);
float clamp01(float x);
Vec3* splinePoint(Vec3* out, float u, const Splinept* points, int32_t n);
// The smallest power of two at or above n, for n from 2 to 65536; 0 outside that range.
int32_t nextPowerOfTwo(int32_t n);

// The shared generator: state = state * 69069 + 1 before every draw.
extern uint32_t randomSeed;
int32_t randomInt15();
int32_t randomByte();
float randomUnit();   // state / 4292967296: up to about 1.000466

// Scratch pool.
void* tempmalloc(uint32_t size);
void tmpfree(void* p);
// For tests and diagnostics: bytes in use above the pool's start.
uint32_t scratchUsed();

// Data files are read whole into memory, so only a regular file of at most this size is opened:
// a pipe would block for ever, a device or an outsized file would be read without end.
constexpr long long DATA_FILE_LIMIT = 64ll << 20;
// Opens a data file for reading from its start, with its size in *size. Anything else is refused
// before a byte is read: null, with errno set (ENOENT when it is missing) and the reason in
// *problem ("Is a directory", "a named pipe, not a regular file", "... over the limit of ...").
FILE* openDataFile(const char* path, long* size, std::string* problem);
