// The text pass: lines of monospaced characters from the font atlas, in window pixels, over the
// whole window. The study overlay draws with it after the frame, so it restores all it touches.
#include "support/data_files.h"   // FONT_COLUMNS, FONT_ROWS: the atlas grid
#include "render/gl.h"
#include "effects/effects_local.h"

void drawScreenText(const Texture* font, const char* const* lines, int32_t lineCount, int32_t left,
                    int32_t top, int32_t cellWidth, int32_t cellHeight)
{
    const CameraState savedCamera = camera;
    pushRenderState();
    glPushAttrib(GL_COLOR_BUFFER_BIT);   // the blend, which pushRenderState leaves out
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();

    beginScreenPass(RENDER_ALPHA_BLEND);
    bindTexture(font, TEX_NO_MIPMAP);
    glViewport(0, 0, frameRecord.width, frameRecord.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, frameRecord.width, frameRecord.height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const float cellS = 1.0f / FONT_COLUMNS, cellT = 1.0f / FONT_ROWS;
    glBegin(GL_QUADS);
    for (int32_t line = 0; line < lineCount; line++) {
        float y0 = (float)(top + line * cellHeight), y1 = y0 + (float)cellHeight;
        float x0 = (float)left;
        for (const char* c = lines[line]; *c; c++, x0 += (float)cellWidth) {
            int code = (unsigned char)*c;
            if (code <= 32 || code >= 127)
                continue;
            float s0 = (float)(code % FONT_COLUMNS) * cellS,
                  t0 = (float)(code / FONT_COLUMNS) * cellT;
            float x1 = x0 + (float)cellWidth;
            glTexCoord2f(s0, t0);
            glVertex2f(x0, y0);
            glTexCoord2f(s0 + cellS, t0);
            glVertex2f(x1, y0);
            glTexCoord2f(s0 + cellS, t0 + cellT);
            glVertex2f(x1, y1);
            glTexCoord2f(s0, t0 + cellT);
            glVertex2f(x0, y1);
        }
    }
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    popRenderState();
    camera = savedCamera;
}
