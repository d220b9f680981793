// shell/entry.cpp - command line, start-up, main loop and shutdown.
//
// Start-up runs in a fixed order: seed the generator, fill the starfield,
// clear the frame counters, reset the texture table, open the window, start
// the audio, build the font, load every layer set and scene while the loading
// screen advances, start the music and note the clock. The main loop then
// draws as fast as buffer swaps allow, with no sleep, until a quit request or
// until a drawn frame's elapsed time reaches 131500 ms; the end test looks at
// the frame drawn last, so the final frame is the first one at or past the end.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "shell/clock.h"
#include "shell/shell.h"
#include "shell/window.h"
#include "support/error.h"
#include "support/random.h"

// --- program state ------------------------------------------------------------------
shell_options            SHELL_OPTIONS;
std::vector<std::string> SHELL_ARGS;
int32_t  SEGMENT_FRAMES[7];
int32_t  LOAD_STEP;
int32_t  QUIT_REQUESTED;
uint32_t START_MS;
uint32_t ELAPSED_MS;
uint32_t FONT_TEXTURE;

// --- internal helpers ---------------------------------------------------------------
// Parses the command line; returns -1 to go on, or the exit status to end with.
static int shell_parse_args(int argc, char** argv)
{
    SHELL_ARGS.assign(argv + 1, argv + argc);
    SHELL_OPTIONS.bmark = argc > 1 && std::string(argv[1]) == "-bmark";
    std::vector<std::string> rest(SHELL_ARGS.begin() + (SHELL_OPTIONS.bmark ? 1 : 0), SHELL_ARGS.end());

    CLI::App app{"qiv - a self-running real-time 3D demo.\n"
                 "Plays the show from the data folder in the working directory.\n"
                 "\"-bmark\" as the first argument shows a running benchmark score.",
                 "qiv"};
    app.set_version_flag("--version", "qiv 1.0.0 (Kestrel engine, scene format 1.2)");
    app.add_flag("--windowed", SHELL_OPTIONS.windowed, "play in an ordinary 640x480 window");
    std::reverse(rest.begin(), rest.end());  // CLI11 takes the arguments in reverse order
    try {
        app.parse(rest);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    return -1;
}

static void shell_start_window()
{
    WINDOW_OPTIONS.windowed = SHELL_OPTIONS.windowed;
    window_install_signal_handlers();
    if (!WINDOW_CREATE())
        fatal_raise("no display could be opened (" + window_last_error() +
                    "); run qiv on a graphical display");
}

static void shell_start_up()
{
    random_seed(clock_tick_count());
    for (int32_t& f : SEGMENT_FRAMES)
        f = 0;
    LOAD_STEP = 0;
    QUIT_REQUESTED = 0;
    shell_start_window();
    shell_load_content();
    START_MS = clock_now_ms();
    ELAPSED_MS = 0;
}

static void shell_main_loop()
{
    for (;;) {
        if (QUIT_REQUESTED != 0)
            break;
        if (ELAPSED_MS >= SHELL_RUN_MS)
            break;
        ELAPSED_MS = clock_now_ms() - START_MS;
        DRAW_FRAME();
        QUIT_REQUESTED = WINDOW_UPDATE();
    }
}

static void shell_shut_down()
{
    WINDOW_DESTROY();
}

// --- public functions ---------------------------------------------------------------
int shell_main(int argc, char** argv)
{
    int status = shell_parse_args(argc, argv);
    if (status >= 0)
        return status;
    shell_start_up();
    shell_main_loop();
    shell_shut_down();
    return 0;
}
