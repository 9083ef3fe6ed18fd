// The setup dialog. Interim: no dialog yet, the settings go through as given.
#include "app/app.h"

int SetupDialog(DisplaySettings*)
{
    return -1;
}
