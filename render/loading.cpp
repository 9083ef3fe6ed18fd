// The loading screen: a few grey bars and one that grows by a tenth each time an asset is ready.
// The loaders and builders call it as they finish, until the show starts.
#include "render/gl.h"
#include "render/render_local.h"
#include "support/upcalls.h"   // swapFrame

float loadingProgress = 0.0f;

namespace {

void drawQuad(float x0, float y0, float x1, float y1)
{
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

}   // namespace

void drawLoadingScreen()
{
    if (showStarted)
        return;
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, frameRecord.width, frameRecord.height);
    glColor4f(1, 1, 1, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-0.9f, -0.7f, 0);
    glScalef(0.5f, 0.5f, 1);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    for (int i = 0; i < 4; i++)
        drawQuad(0.2f * i, -0.3f, 0.2f * i + 0.1f, 0.0f);
    drawQuad(0.0f, -0.4f, 0.7f, -0.3f);
    drawQuad(0.2f, 0.0f, 0.3f, loadingProgress / 4.0f * 0.5f);
    swapFrame();
    loadingProgress += 0.1f;
}
