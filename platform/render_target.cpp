// platform/render_target.cpp - framebuffer objects (see render_target.h).
#include "platform/render_target.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/render/render_common.h"
#include "platform/glcontext.h"

// --- module state -------------------------------------------------------------
struct render_target_api {
    PFNGLGENFRAMEBUFFERSPROC         gen_framebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC      delete_framebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC         bind_framebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC        gen_renderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC     delete_renderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC        bind_renderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC     storage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC attach = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC  status = nullptr;
};
static render_target_api render_target_gl;
static unsigned          render_target_bound = 0;  // the framebuffer of ours that is bound

// --- internal helpers ---------------------------------------------------------
// Looks the entry points up for the current context; false when it has none.
static bool render_target_load()
{
    const char* suffix = nullptr;
    if (kst_gl_version_at_least(3, 0) || kst_gl_has_extension("GL_ARB_framebuffer_object"))
        suffix = "";
    else if (kst_gl_has_extension("GL_EXT_framebuffer_object") &&
             kst_gl_has_extension("GL_EXT_packed_depth_stencil"))
        suffix = "EXT";
    if (suffix == nullptr)
        return false;
    render_target_api& a = render_target_gl;
    return gl_context_proc(a.gen_framebuffers, "glGenFramebuffers", suffix) &&
           gl_context_proc(a.delete_framebuffers, "glDeleteFramebuffers", suffix) &&
           gl_context_proc(a.bind_framebuffer, "glBindFramebuffer", suffix) &&
           gl_context_proc(a.gen_renderbuffers, "glGenRenderbuffers", suffix) &&
           gl_context_proc(a.delete_renderbuffers, "glDeleteRenderbuffers", suffix) &&
           gl_context_proc(a.bind_renderbuffer, "glBindRenderbuffer", suffix) &&
           gl_context_proc(a.storage, "glRenderbufferStorage", suffix) &&
           gl_context_proc(a.attach, "glFramebufferRenderbuffer", suffix) &&
           gl_context_proc(a.status, "glCheckFramebufferStatus", suffix);
}

static unsigned render_target_storage(GLenum format, int width, int height)
{
    GLuint name = 0;
    render_target_gl.gen_renderbuffers(1, &name);
    render_target_gl.bind_renderbuffer(GL_RENDERBUFFER, name);
    render_target_gl.storage(GL_RENDERBUFFER, format, width, height);
    return name;
}

// --- public functions ---------------------------------------------------------
bool render_target_open(render_target& target, int width, int height, std::string& error)
{
    target = render_target{};
    if (!render_target_load()) {
        error = "the GL has no framebuffer objects (GL 3.0, ARB_framebuffer_object or "
                "EXT_framebuffer_object), which off-screen pictures other than 640x480 need";
        return false;
    }
    GLint most = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &most);
    if (width > most || height > most) {
        error = "the GL draws off-screen pictures of at most " + std::to_string(most) + " pixels a side, not " +
                std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    target.width = width;
    target.height = height;
    render_target_gl.gen_framebuffers(1, &target.framebuffer);
    render_target_gl.bind_framebuffer(GL_FRAMEBUFFER, target.framebuffer);
    target.colour = render_target_storage(GL_RGBA8, width, height);
    target.depth_stencil = render_target_storage(GL_DEPTH24_STENCIL8, width, height);
    render_target_gl.attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target.colour);
    render_target_gl.attach(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, target.depth_stencil);
    render_target_gl.attach(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, target.depth_stencil);
    render_target_bound = target.framebuffer;
    GLenum status = render_target_gl.status(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE || glGetError() != GL_NO_ERROR) {
        error = "the GL cannot draw a " + std::to_string(width) + "x" + std::to_string(height) +
                " off-screen picture (framebuffer status 0x" + [status] {
                    char hex[16];
                    std::snprintf(hex, sizeof hex, "%04X", status);
                    return std::string(hex);
                }() + ")";
        render_target_close(target);
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    return true;
}

void render_target_close(render_target& target)
{
    if (target.framebuffer == 0 || !gl_context_current()) {
        target = render_target{};
        return;
    }
    render_target_gl.bind_framebuffer(GL_FRAMEBUFFER, 0);
    if (render_target_bound == target.framebuffer)
        render_target_bound = 0;
    render_target_gl.delete_framebuffers(1, &target.framebuffer);
    GLuint buffers[2] = {target.colour, target.depth_stencil};
    render_target_gl.delete_renderbuffers(2, buffers);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    target = render_target{};
}

bool render_target_active()
{
    return render_target_bound != 0;
}
