// orvanti_datagen DIR: writes the show's data set (images and music) into DIR.
// orvanti_datagen --icons DIR: writes the program's desktop icons into DIR, a hicolor theme tree.
// The images and the music are made side by side; both are fixed by their seeds.
#include "datagen.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}   // namespace

int main(int argc, char** argv)
{
    const bool icons = argc == 3 && std::string(argv[1]) == "--icons";
    if (!(argc == 2 || icons) || std::string(argv[argc - 1]).rfind("-", 0) == 0) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n       %s --icons HICOLOR_DIRECTORY\n",
                     argv[0], argv[0]);
        return 2;
    }
    const std::string dir = argv[argc - 1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        std::fprintf(stderr, "%s: cannot create the directory (%s)\n", dir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    if (icons) {
        std::string error;
        if (!datagen::writeIcons(dir, error)) {
            std::fprintf(stderr, "datagen: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    const int threads = int(std::max(2u, std::thread::hardware_concurrency()));
    const auto start = std::chrono::steady_clock::now();

    std::string imageError;
    bool imagesOk = false;
    double imageTime = 0;
    std::thread images([&] {
        imagesOk = datagen::writeImages(dir, threads, imageError);
        imageTime = secondsSince(start);
    });
    std::string musicError;
    bool musicOk = datagen::writeMusic(dir, threads, musicError);
    double musicTime = secondsSince(start);
    images.join();

    if (!imagesOk)
        std::fprintf(stderr, "datagen: %s\n", imageError.c_str());
    if (!musicOk)
        std::fprintf(stderr, "datagen: %s\n", musicError.c_str());
    if (!imagesOk || !musicOk)
        return 1;
    std::printf(
        "datagen: %zu colour images with their masks in %.1f s, %s in %.1f s, all in %.1f s\n",
        DATA_IMAGE_COUNT, imageTime, DATA_MUSIC.name, musicTime, secondsSince(start));
    return 0;
}
