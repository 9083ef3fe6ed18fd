// Private to app/: what the shell's parts take from the platform: the SDL window they share, and
// where the program and its data lie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SDL_Window;
SDL_Window* platformWindow();

// The directory of the running executable (links resolved), with a trailing slash; "./" when
// the platform cannot tell.
std::string executableDirectory();

// Where the data directory is looked for without --data, in this order: data/ beside the
// program (the build tree), then ../share/orvanti/data/ from it (an installed tree, wherever
// its prefix was moved). Each with a trailing slash.
std::vector<std::string> dataDirectoryCandidates(const std::string& programDirectory);

// Sets programOptions.dataDir: --data as given, else the first candidate that exists. When
// there is none, ends through fatalError naming every place looked.
void locateDataDirectory();
