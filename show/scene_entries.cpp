// The scenes the timeline calls. A scene joins the show by taking its slot here.
#include "show/show.h"

const SceneEntries sceneEntries = {
    nullptr,   // drawScene1
    nullptr,   // drawScene2
    nullptr,   // drawScene3
    nullptr,   // drawScene4
    nullptr,   // drawScene5
    nullptr,   // drawScene6
    nullptr,   // drawScene7
    nullptr,   // drawScene8
    nullptr,   // drawScene9
    nullptr,   // drawScene10
    nullptr,   // drawScene11
};
