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
    const fs::path programDirectory(executableDirectory());
    std::string looked;
    for (const char* relative : {"data/", "../share/orvanti/data/"}) {
        // With the trailing slash that dataPath wants; ".." folded so that messages read plainly.
        std::string place = (programDirectory / relative).lexically_normal().generic_string();
        if (fs::is_directory(place, ec)) {
            chosen = place;
            return;
        }
        looked += (looked.empty() ? "" : ", ") + place;
    }
    fatalError(
        ("data directory not found; looked in " + looked + " (--data DIR names another)").c_str());
}
