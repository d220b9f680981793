// platform/win32/child.cpp - child_scope in the Windows build (see support/child.h).
//
// Windows has no SIGCHLD to put right and no fork: a scope does nothing, and
// the two process calls fail with ENOSYS, so that a caller reports "cannot
// start" instead of waiting for a child that was never made. Nothing in the
// Windows build forks (its capture runs in one process, without ffmpeg).
#include "support/child.h"

#include <cerrno>

child_scope::child_scope() = default;
child_scope::~child_scope() = default;

pid_t child_scope::fork_child()
{
    errno = ENOSYS;
    return -1;
}

pid_t child_scope::wait_child(pid_t, int&, bool)
{
    errno = ENOSYS;
    return -1;
}
