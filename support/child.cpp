// support/child.cpp - SIGCHLD at its default while we have children (see child.h).
//
// Scopes nest (the import's trial read can run inside a program that has
// children of its own); a count of the live scopes decides when the saved
// disposition goes back. The count is not guarded by a lock: scopes are made
// by the thread that forks, and no program of ours forks from two threads.
#include "support/child.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

// --- module state -------------------------------------------------------------
static int              child_scopes = 0;   // live child_scope objects
static struct sigaction child_saved{};      // SIGCHLD as the program had it

// --- public functions ---------------------------------------------------------
child_scope::child_scope()
{
    if (child_scopes++ > 0)
        return;
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGCHLD, &dfl, &child_saved);
}

child_scope::~child_scope()
{
    if (--child_scopes == 0)
        sigaction(SIGCHLD, &child_saved, nullptr);
}

pid_t child_scope::fork_child()
{
    return fork();
}

pid_t child_scope::wait_child(pid_t pid, int& status, bool block)
{
    for (;;) {
        pid_t r = waitpid(pid, &status, block ? 0 : WNOHANG);
        if (r >= 0 || errno != EINTR)
            return r;
    }
}
