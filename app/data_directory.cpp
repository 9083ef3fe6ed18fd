// Where the data lies: --data, or beside the program, or in the installed tree around it. Looked
// up from the executable's own path, never the current directory, so that the program runs the
// same from a menu, a shell anywhere, or a prefix that was moved as a whole.
#include "app/app_local.h"
#include "app/platform.h"

#include <SDL.h>   // SDL_GetBasePath: the executable's directory on every platform SDL serves

#include <filesystem>

std::string executableDirectory()
{
    char* base = SDL_GetBasePath();
    if (!base)
        return "./";
    std::string directory = base;
    SDL_free(base);
    if (directory.back() != '/' && directory.back() != '\\')
        directory += '/';
    return directory;
}

std::vector<std::string> dataDirectoryCandidates(const std::string& programDirectory)
{
    namespace fs = std::filesystem;
    const fs::path base(programDirectory);
    std::vector<std::string> places;
    // A trailing slash on each, as dataPath wants it; ".." folded so that messages read plainly.
    for (const char* relative : {"data/", "../share/orvanti/data/"})
        places.push_back((base / relative).lexically_normal().generic_string());
    return places;
}

void locateDataDirectory()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string& chosen = programOptions.dataDir;
    if (!chosen.empty()) {
        if (!fs::is_directory(chosen, ec))
            fatalError(("data directory not found: " + chosen + " (given with --data)").c_str());
        return;
    }
    std::vector<std::string> places = dataDirectoryCandidates(executableDirectory());
    std::string looked;
    for (const std::string& place : places) {
        if (fs::is_directory(place, ec)) {
            chosen = place;
            return;
        }
        looked += (looked.empty() ? "" : ", ") + place;
    }
    fatalError(
        ("data directory not found; looked in " + looked + " (--data DIR names another)").c_str());
}
