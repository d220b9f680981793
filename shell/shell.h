// shell/shell.h - the demo shell's program-lifetime state and entry points.
//
// The shell owns all content for the whole run: the frame counters that feed
// the benchmark score, the loading-step count, the quit flag, the clock
// readings and (as the modules arrive) the scenes, layer sets, starfield and
// font texture. shell_main() is the program: command line, start-up, loading,
// the main loop and shutdown; main() only wraps it in the fatal-error path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// --- command line -----------------------------------------------------------------
struct shell_options {
    bool        bmark    = false;  // "-bmark" was the first argument exactly
    bool        windowed = false;  // --windowed
    std::string data_dir = "data"; // where content is loaded from
};

extern shell_options SHELL_OPTIONS;
extern std::vector<std::string> SHELL_ARGS;  // the command line as given (argv[1..])

// --- program state ------------------------------------------------------------------
extern int32_t  SEGMENT_FRAMES[7];  // frames drawn per timeline segment (slot 0 unused)
extern int32_t  LOAD_STEP;          // loading-screen steps taken
extern int32_t  QUIT_REQUESTED;     // last WINDOW_UPDATE result
extern uint32_t START_MS;           // clock just after the music started
extern uint32_t ELAPSED_MS;         // ms since START_MS (unsigned difference)
extern uint32_t FONT_TEXTURE;       // GL name of the built-in font

constexpr uint32_t SHELL_RUN_MS = 131500;  // the show ends at this elapsed time

// --- operations ---------------------------------------------------------------------
// The whole program; returns the exit status (fatal errors propagate as exceptions).
int  shell_main(int argc, char** argv);
// One step of the loading screen.
void LOADING_STEP();
// Loads every layer set and scene in the fixed order, stepping the loading screen.
void shell_load_content();
// Draws one frame of the show for the current clock.
void DRAW_FRAME();
