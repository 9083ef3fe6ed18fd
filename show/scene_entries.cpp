// The scenes the timeline calls. A scene joins the show by taking its slot here.
#include "show/show.h"

const SceneEntries sceneEntries = {
    drawScene1,
    drawScene2,
    drawScene3,
    drawScene4,
    drawScene5,
    drawScene6,
    drawScene7,
    drawScene8,
    drawScene9,
    drawScene10,
    drawScene11,
};
