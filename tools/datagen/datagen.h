// The data generator: every image and the music of data/, made from fixed seeds so that each
// run writes the same bytes. Which files there are, their sizes and masks, is the data list in
// support/data_files.h; the generator only knows what each one looks like.
#pragma once

#include "support/data_files.h"

#include <string>

namespace datagen {

// Writes every image of DATA_IMAGES (and its mask) into dir, using up to threads workers.
// False with a reason on failure.
bool writeImages(const std::string& dir, int threads, std::string& error);

// Synthesises DATA_MUSIC and encodes it into dir, using up to threads workers.
bool writeMusic(const std::string& dir, int threads, std::string& error);

// The program's desktop icon, drawn from the show's own spiral sprite, as
// dir/NxN/apps/orvanti.png at each of ICON_SIZES (the hicolor theme's layout).
inline constexpr int ICON_SIZES[] = {16, 22, 24, 32, 48, 64, 128, 256};
bool writeIcons(const std::string& dir, std::string& error);

}   // namespace datagen
