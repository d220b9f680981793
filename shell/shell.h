// shell/shell.h - the demo shell's program-lifetime state and entry points.
//
// The shell owns all content for the whole run: the scenes and layer sets the
// score names (shell/score.h; six and fifteen in the default show), the
// starfield and the font texture, the frame counters that feed the benchmark
// score, the loading-step count, the quit flag and the clock readings. shell_main() is the program: command line, start-up,
// loading, the main loop (or capture, a single frame, the timedemo) and
// shutdown; main() only wraps it in the fatal-error path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "ife/ife.h"
#include "shell/capture.h"
#include "shell/score.h"

// --- command line -----------------------------------------------------------------
struct shell_options {
    bool        bmark    = false;  // "-bmark" was the first argument exactly
    bool        windowed = false;  // --windowed
    bool        verbose  = false;  // --verbose: loading steps and run summary on stderr
    std::string data_dir;          // --data DIR as given, then the folder content is loaded from
    std::optional<uint64_t> seed;  // --seed: fixed generator seed
    uint32_t    loading_pace_ms = 0;  // --loading-pace: hold each loading step this long

    bool        desktop  = false;  // --desktop: borderless over the desktop, no mode switch
    bool        loop     = false;  // --loop: play the show again from the start until closed
    bool        no_vsync = false;  // --no-vsync
    std::string size_text;         // --size WxH as given
    int         width    = 640;    // the picture's frame
    int         height   = 480;
    int         ssaa     = 1;      // --ssaa: samples per pixel along each axis
    int         crf      = 17;     // --crf: the video's quality (libx264's rate factor)

    std::string capture_out;       // --capture OUT (folder, or a file ending .mp4)
    std::string fps_text;          // --fps as given
    capture_rate fps;              // --fps: 30 unless given
    uint32_t    from_ms  = 0;      // --from
    uint32_t    to_ms    = 131500; // --to
    std::optional<uint32_t> frame_ms;  // --frame MS (with -o FILE)
    std::string frame_out;         // -o FILE
    bool        timedemo = false;  // --timedemo
    uint32_t    timedemo_frames = 200;  // --frames, per segment
    uint32_t    start_ms = 0;      // --start: the show (and music) from this time
    bool        frame_costs = false;    // --frame-costs
    bool        edit = false;      // --edit: the author's loop in a window (shell/edit.h)
};

extern shell_options SHELL_OPTIONS;
extern std::vector<std::string> SHELL_ARGS;  // the command line as given (argv[1..])

// --- content ------------------------------------------------------------------------
// The slots of the default show's scenes and layer sets, in load order.
enum shell_scene_id { SCENE_CREST, SCENE_PART2, SCENE_HIPOLY, SCENE_LEPKE, SCENE_EARTH,
                      SCENE_QORV, SCENE_COUNT };
enum shell_layers_id { LAYERS_LOADING, LAYERS_MEETING, LAYERS_CRESTPRE, LAYERS_PART2,
                       LAYERS_BLACKFADE, LAYERS_STARMAP, LAYERS_PORTRAIT, LAYERS_DRUMCRASH,
                       LAYERS_HATTER, LAYERS_CRESTFADE, LAYERS_BEAUTY, LAYERS_PLANET,
                       LAYERS_KEKBKG, LAYERS_KERET, LAYERS_GREETS, LAYERS_COUNT };

extern KST_SCENE     SHELL_SCENES[SCORE_MAX_SCENES];      // the score's scenes, by slot
extern ife_interface SHELL_LAYERS[SCORE_MAX_LAYER_SETS];  // the score's layer sets, by slot
extern const char* const SHELL_LAYERS_STEMS[LAYERS_COUNT];  // the default show's layer files

// --- program state ------------------------------------------------------------------
extern int32_t  SEGMENT_FRAMES[SCORE_MAX_SEGMENTS + 1];  // frames drawn per segment (slot 0 unused)
extern int32_t  LOAD_STEP;          // loading-screen steps taken
extern int32_t  QUIT_REQUESTED;     // last WINDOW_UPDATE result
extern uint32_t START_MS;           // clock just after the music started
extern uint32_t ELAPSED_MS;         // ms since START_MS (unsigned difference)
extern uint32_t FONT_TEXTURE;       // GL name of the built-in font


// --- operations ---------------------------------------------------------------------
// The whole program; returns the exit status (fatal errors propagate as exceptions).
int  shell_main(int argc, char** argv);
// One step of the loading screen.
void LOADING_STEP();
// Loads every layer set and scene in the fixed order, stepping the loading screen.
void shell_load_content();
// Releases the hidden context that finished loading after a close request, if any.
void shell_release_loading_context();
// Draws one frame of the show for the current clock.
void DRAW_FRAME();
// Per-segment frame counts, frames per second and the score, for "-bmark" runs.
std::string shell_bench_summary(const double* seconds_per_segment);
