// Where the data lies: --data, or beside the program, or in the installed tree around it. Looked
// up from the executable's own path, never the current directory, so that the program runs the
// same from a menu, a shell anywhere, or a prefix that was moved as a whole.
#include "app/app_local.h"
#include "app/platform.h"
#include "support/os.h"   // isDirectory

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

namespace fs = std::filesystem;

// Paths hold UTF-8 names: a plain string would be taken in the system's code page on Windows.
static fs::path pathOf(const std::string& name)
{
    return fs::path(std::u8string(name.begin(), name.end()));
}

static std::string nameOf(const fs::path& path)
{
    std::u8string name = path.generic_u8string();
    return std::string(name.begin(), name.end());
}

void locateDataDirectory()
{
    std::string& chosen = programOptions.dataDir;
    if (!chosen.empty()) {
        if (!isDirectory(chosen))
            fatalError(("data directory not found: " + chosen + " (given with --data)").c_str());
        return;
    }
    const fs::path programDirectory = pathOf(executableDirectory());
    std::string looked;
    for (const char* relative : {"data/", "../share/orvanti/data/"}) {
        // With the trailing slash that dataPath wants; ".." folded so that messages read plainly.
        std::string place = nameOf((programDirectory / relative).lexically_normal());
        if (isDirectory(place)) {
            chosen = place;
            return;
        }
        looked += (looked.empty() ? "" : ", ") + place;
    }
    fatalError(
        ("data directory not found; looked in " + looked + " (--data DIR names another)").c_str());
}
