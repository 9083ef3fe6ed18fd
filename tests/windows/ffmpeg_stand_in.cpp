// A stand-in for ffmpeg.exe in the Windows program's tests (wine_test.sh builds it): reads its
// standard input to the end and writes the number of bytes it got into the output file, the last
// argument (after its "file:"). With STAND_IN_STOP_AFTER=N in the environment it stops reading
// after N bytes and exits with status 3, as an encoder that fails half-way does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const char* stop = std::getenv("STAND_IN_STOP_AFTER");
    unsigned long long limit = stop ? std::strtoull(stop, nullptr, 10) : ~0ull;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    static char buffer[1 << 16];
    unsigned long long total = 0;
    DWORD got = 0;
    while (total < limit && ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0)
        total += got;
    if (total >= limit)
        return 3;
    const char* path = argc > 1 ? argv[argc - 1] : "";
    FILE* out = std::strncmp(path, "file:", 5) == 0 ? std::fopen(path + 5, "w") : nullptr;
    if (!out)
        return 2;
    std::fprintf(out, "%llu\n", total);
    return std::fclose(out) == 0 ? 0 : 2;
}
