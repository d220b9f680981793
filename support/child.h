// support/child.h - child processes that can always be waited for.
//
// A program started by a parent that ignores SIGCHLD inherits that setting,
// and with SIGCHLD ignored the kernel reaps every child on its own: waitpid
// then finds no child at all (ECHILD) and the child's status is lost. Every
// fork of ours whose child we wait for therefore goes through child_scope:
// while a scope lives SIGCHLD is at its default (children stay until waited
// for, and the children inherit the default too), and the disposition the
// program had is put back when the last scope ends.
#pragma once

#include <sys/types.h>

class child_scope {
public:
    child_scope();    // SIGCHLD to its default, the old disposition kept
    ~child_scope();   // the old disposition back once no scope is left
    child_scope(const child_scope&) = delete;
    child_scope& operator=(const child_scope&) = delete;

    // fork(), made while a scope lives: the child's pid in the parent, 0 in
    // the child, -1 (errno set) when no process could be made.
    static pid_t fork_child();
    // waitpid for `pid`, again after a signal: the pid once it has ended
    // (its raw status in `status`), 0 while it runs (only when !block), -1
    // with errno set when it cannot be waited for.
    static pid_t wait_child(pid_t pid, int& status, bool block);
};
