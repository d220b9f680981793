// cmake/sanitize_keep_loaded.cpp - linked into every program of a sanitizer
// build (QIV_SANITIZE), and only there.
//
// LeakSanitizer looks for leaks when the process ends, after SDL and the GL
// vendor library have unloaded the drivers they opened (Mesa's DRI and EGL
// drivers). Memory such a driver still holds through its own globals then
// looks leaked, and its allocation stack points into an unmapped library, so
// no suppression can name it. This dlclose, found before the C library's,
// keeps every opened library loaded until the process ends: the driver's
// memory stays reachable, and a real leak anywhere keeps a readable stack.
extern "C" int dlclose(void*)
{
    return 0;
}
