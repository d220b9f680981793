// shell/win32/capture_jobs.cpp - the split capture in the Windows build (see capture_jobs.h).
//
// The Windows build captures in one process: the Linux build's parts are
// children made with fork and watched through pipes and process groups,
// which Windows does not have in that form. --jobs is still accepted, so
// that command lines move between the two builds: 1 (the default here) is a
// plain capture, and more is refused with a message saying why, rather than
// quietly doing something else.
#include "shell/capture_jobs.h"

#include <CLI/CLI.hpp>

#include "shell/shell.h"
#include "support/error.h"

capture_jobs_options CAPTURE_JOBS;

void capture_jobs_add_options(CLI::App& app, CLI::Option* capture)
{
    CAPTURE_JOBS = capture_jobs_options{};
    app.add_option("--jobs", CAPTURE_JOBS.jobs,
                   "processes a capture is rendered in (the Windows build renders in one)")
        ->check(CLI::Range(1u, 256u))->needs(capture);
}

uint32_t capture_default_jobs()
{
    return 1;
}

int capture_jobs_main()
{
    if (!SHELL_OPTIONS.capture_out.empty() && CAPTURE_JOBS.jobs > 1)
        fatal_raise(SHELL_OPTIONS.capture_out + ": --jobs " + std::to_string(CAPTURE_JOBS.jobs) +
                    ": the Windows build renders a capture in one process; leave --jobs out");
    return -1;
}

bool capture_part_active()
{
    return false;
}

capture_part capture_part_range()
{
    return capture_part{};
}

std::string capture_part_out()
{
    return SHELL_OPTIONS.capture_out;
}

void capture_part_progress(uint32_t)
{
}
