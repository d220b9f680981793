// platform/win32/posix.h - the POSIX calls of the portable code, on Windows.
//
// The Windows build includes this header first in every source file (the
// compiler's -include), so that the few POSIX calls of the portable modules
// that mingw-w64's C library lacks have their Windows counterparts, and the
// modules themselves carry no platform code. fsync is _commit (which flushes
// the file's buffers to the disk).
//
// mingw-w64's GL/gl.h includes windows.h, whose macros would rename some of
// the engine's own names (MEM_FREE is VirtualFree's flag). windows.h is
// therefore included here, once, before anything else (with mmsystem.h,
// which still spells its pointers with far), and those macros are
// taken back (far and near too, old segment qualifiers that are the names of
// variables here); no code of ours uses them as Windows means them.
// Windows' GL/gl.h stops at GL 1.1, where Mesa's goes on to 1.3: glext.h
// gives the later enums (GL_CLAMP_TO_EDGE, ...) and the prototypes of the
// later entry points the engine calls directly (glGenBuffers, ...), which
// opengl32.dll does not export: platform/win32/gl_entry.cpp defines them,
// each forwarding to the driver's through wglGetProcAddress.
#pragma once

#ifdef __cplusplus
#include <windows.h>
#include <mmsystem.h>
#include <io.h>
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>

#undef MEM_FREE
#undef far
#undef near

inline int fsync(int fd)
{
    return _commit(fd);
}
#endif
