// Entry point of the show.
#include "app/app.h"

int main(int argc, char** argv)
{
    return runProgram(argc, argv);
}
