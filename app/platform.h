// Private to app/: what the shell's parts take from the platform: the SDL window they share, and
// where the program and its data lie.
#pragma once

#include <cstdint>
#include <string>

struct SDL_Window;
SDL_Window* platformWindow();

// The directory of the running executable (links resolved), with a trailing slash; "./" when
// the platform cannot tell.
std::string executableDirectory();

// Sets programOptions.dataDir: --data as given, else the first of these that exists: data/
// beside the program (the build tree), then ../share/orvanti/data/ from it (an installed tree,
// wherever its prefix was moved). When there is none, ends through fatalError naming every place
// looked.
void locateDataDirectory();
