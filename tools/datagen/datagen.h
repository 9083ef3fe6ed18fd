// The data generator: every image and the music of data/, made from fixed seeds so that each
// run writes the same bytes. The image table below is the list that README.md documents.
#pragma once

#include <string>
#include <vector>

namespace datagen {

// One colour image and, where it has one, its mask (alpha from the mask's red byte, same size).
struct ImageFile {
    const char* name;      // colour file in data/
    const char* mask;      // mask file in data/, or nullptr
    int width, height;
    const char* use;       // what the show does with it
};

// C1 to C28 in order of first use; the masks follow their colour image.
const std::vector<ImageFile>& imageFiles();

// The one music stream.
constexpr const char* MUSIC_FILE = "music.ogg";

// Writes every image into dir, using up to threads workers. False with a reason on failure.
bool writeImages(const std::string& dir, int threads, std::string& error);

// Synthesises the music and encodes it to dir/music.ogg, using up to threads workers.
bool writeMusic(const std::string& dir, int threads, std::string& error);

}  // namespace datagen
