// Entry point of the show.
#include "app/app.h"
#include "support/os.h"   // attachStandardStreams

#include <SDL_main.h>   // on Windows, SDL's WinMain calls this main, with UTF-8 arguments

int main(int argc, char** argv)
{
    attachStandardStreams();
    return runProgram(argc, argv);
}
