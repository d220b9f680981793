// platform/win32/gl/gl_entry.cpp - GL entry points past 1.1 for the Windows build.
//
// opengl32.dll exports GL 1.1 only; the rest comes from the driver through
// wglGetProcAddress once a context is current. The engine calls a few GL 1.5
// functions directly (buffer objects, only after checking GL_VERSION), as
// Mesa's libGL lets a Linux program do; this file defines those functions,
// each looking its driver entry point up at its first call and forwarding.
// It is compiled into the engine library itself (cmake/windows.cmake), since
// the engine is what calls them. A function whose entry point is missing was
// called without the version check: the program stops with a message.
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>

// --- internal helpers ---------------------------------------------------------
static PROC gl_entry_find(const char* name)
{
    PROC p = wglGetProcAddress(name);
    if (p == nullptr) {
        std::fprintf(stderr, "qiv: the GL driver has no %s\n", name);
        std::exit(1);
    }
    return p;
}

template <typename F>
static F gl_entry(F& slot, const char* name)
{
    if (slot == nullptr)
        slot = reinterpret_cast<F>(reinterpret_cast<void*>(gl_entry_find(name)));
    return slot;
}

// --- public functions ---------------------------------------------------------
static PFNGLGENBUFFERSPROC    gl_entry_gen_buffers = nullptr;
static PFNGLDELETEBUFFERSPROC gl_entry_delete_buffers = nullptr;
static PFNGLBINDBUFFERPROC    gl_entry_bind_buffer = nullptr;
static PFNGLBUFFERDATAPROC    gl_entry_buffer_data = nullptr;
static PFNGLBUFFERSUBDATAPROC gl_entry_buffer_sub_data = nullptr;
static PFNGLISBUFFERPROC      gl_entry_is_buffer = nullptr;

extern "C" {
void APIENTRY glGenBuffers(GLsizei n, GLuint* buffers)
{
    gl_entry(gl_entry_gen_buffers, "glGenBuffers")(n, buffers);
}

void APIENTRY glDeleteBuffers(GLsizei n, const GLuint* buffers)
{
    gl_entry(gl_entry_delete_buffers, "glDeleteBuffers")(n, buffers);
}

void APIENTRY glBindBuffer(GLenum target, GLuint buffer)
{
    gl_entry(gl_entry_bind_buffer, "glBindBuffer")(target, buffer);
}

void APIENTRY glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage)
{
    gl_entry(gl_entry_buffer_data, "glBufferData")(target, size, data, usage);
}

void APIENTRY glBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void* data)
{
    gl_entry(gl_entry_buffer_sub_data, "glBufferSubData")(target, offset, size, data);
}

GLboolean APIENTRY glIsBuffer(GLuint buffer)
{
    return gl_entry(gl_entry_is_buffer, "glIsBuffer")(buffer);
}
}
