// engine/render/framebuffer.cpp - the framebuffer texture (see framebuffer.h).
#include "engine/render/framebuffer.h"

#include <GL/gl.h>

#include "engine/render/render_common.h"
#include "engine/textures/texture_manager.h"
#include "support/mem.h"

// --- module state ---------------------------------------------------------------------
int32_t  KST_FRAMEBUFFERSIZE = 0;
uint32_t KST_FRAMEBUFFERTEXTURE = 0;

// --- public functions -------------------------------------------------------------------

void KST_FRAMEBUFFER_INIT()
{
    KST_FRAMEBUFFERSIZE = 256;
    // Cleared, so the picture before the first grab is black rather than heap garbage.
    const size_t bytes = static_cast<size_t>(KST_FRAMEBUFFERSIZE) * KST_FRAMEBUFFERSIZE * 4;
    void* buffer = mem_alloc(bytes, "framebuffer texture", true);
    glEnable(GL_TEXTURE_2D);
    GLuint name = 0;
    glGenTextures(1, &name);
    KST_FRAMEBUFFERTEXTURE = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    kst_pixel_unpack_tight();  // read exactly the 256 x 256 x 4 bytes of the buffer
    glTexImage2D(GL_TEXTURE_2D, 0, 4, KST_FRAMEBUFFERSIZE, KST_FRAMEBUFFERSIZE, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, buffer);
    mem_release(buffer);
    TX_FRAMEBUFFER = KST_FRAMEBUFFERTEXTURE;
}

void KST_FRAMEBUFFER_GRAB()
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, KST_FRAMEBUFFERTEXTURE);
    if (KST_FRAMEBUFFERSIZE > 0) {
        GLint view[4] = {};
        glGetIntegerv(GL_VIEWPORT, view);  // the picture's corner, inside any bars
        kst_pixel_unpack_tight();  // the copy passes the pixel transfer: scales and maps off
        glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, view[0], view[1], KST_FRAMEBUFFERSIZE, KST_FRAMEBUFFERSIZE, 0);
    }
}
