// shell/entry.cpp - command line, start-up, the run and shutdown.
//
// Start-up runs in a fixed order: seed the generator, fill the starfield,
// clear the frame counters, reset the texture table, open the window, start
// the audio, build the font, load every layer set and scene while the loading
// screen advances, start the music and note the clock. Then one run plays the
// show (shell/runs.cpp) and shutdown stops the audio and restores the display.
// With --start MS the clock and the music begin MS into the show (shell/start.h).
// The score is the data folder's show.toml when it has one, else the built-in
// score (shell/score.h); a broken show file ends the program before anything
// plays.
//
// Capture, single frames and the timedemo run off screen on the virtual clock
// and open no audio output (a video gets the music from the file instead).
// When the audio output cannot be opened for a normal run, the program says
// so and how to run without sound, and ends with status 1. A music file that
// is missing or cannot be decoded only costs the sound: one line on stderr.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "audio/player.h"
#include "kestrel_version.h"
#include "engine/textures/texture_manager.h"
#include "shell/capture_jobs.h"
#include "shell/clock.h"
#include "shell/datadir.h"
#include "shell/edit.h"
#include "shell/font.h"
#include "shell/runs.h"
#include "shell/shell.h"
#include "shell/show_file.h"
#include "shell/starfield.h"
#include "shell/start.h"
#include "shell/timeline.h"
#include "shell/warm_up.h"
#include "shell/window.h"
#include "platform/picture.h"
#include "support/error.h"
#include "support/folders.h"
#include "support/random.h"

// --- program state ------------------------------------------------------------------
shell_options            SHELL_OPTIONS;
std::vector<std::string> SHELL_ARGS;
KST_SCENE     SHELL_SCENES[SCORE_MAX_SCENES];
ife_interface SHELL_LAYERS[SCORE_MAX_LAYER_SETS];
int32_t  SEGMENT_FRAMES[SCORE_MAX_SEGMENTS + 1];
int32_t  LOAD_STEP;
int32_t  QUIT_REQUESTED;
uint32_t START_MS;
uint32_t ELAPSED_MS;
uint32_t FONT_TEXTURE;

static bool shell_audio_started = false;
static bool shell_to_given = false;  // --to was on the command line

// --- command line -------------------------------------------------------------
static void shell_add_options(CLI::App& app, shell_options& o)
{
    app.set_version_flag("--version", "qiv " KESTREL_VERSION " (Kestrel engine, scene format 1.2)");
    auto* windowed = app.add_flag("--windowed", o.windowed, "play in an ordinary window (640x480, or --size)");
    auto* desktop = app.add_flag("--desktop", o.desktop,
        "play in a borderless window over the whole desktop at its own resolution, without a mode switch")
        ->excludes(windowed);
    app.add_option("--size", o.size_text,
        "the picture's frame WxH, from 160x120 to 7680x4320 (default 640x480); a 4:3 picture "
        "between black bars at other shapes")->excludes(desktop);
    auto* loop = app.add_flag("--loop", o.loop, "play the show again from the start, with its music, until closed");
    auto* no_vsync = app.add_flag("--no-vsync", o.no_vsync,
        "with --windowed or --desktop, draw as fast as possible instead of waiting for the display's refresh");
    app.add_option("--data", o.data_dir, "folder the content is loaded from (default: ./data when it holds the show, "
        "else data/ beside the program, else the installed share/qiv/data)");
    app.add_option("--seed", o.seed, "fixed seed for the random generator (starfield, particles)");
    app.add_flag("--verbose", o.verbose, "report the loading steps on stderr");
    app.add_option("--loading-pace", o.loading_pace_ms, "hold each loading-screen step for MS ms")
        ->check(CLI::Range(0u, 10000u));
    auto* capture = app.add_option("--capture", o.capture_out,
        "render the show off screen into OUT: a folder of numbered PNG frames, "
        "or a video file ending in .mp4 (needs ffmpeg; the music is muxed in)");
    auto* costs = app.add_flag("--frame-costs", o.frame_costs,
        "render every frame of the show at --fps off screen and print each segment's median "
        "and worst frame time, with the worst frame's time stamp");
    app.add_option("--fps", o.fps_text, "frames per second of a capture or --frame-costs (default 30; "
        "fractions such as 59.94 or 60000/1001 too)");
    auto* ssaa = app.add_option("--ssaa", o.ssaa, "render N x N samples per pixel and average them, "
        "for smooth edges (1 to 4; --capture and --frame)")->check(CLI::Range(1, 4));
    app.add_option("--crf", o.crf, "quality of a video capture: libx264's constant rate factor "
        "(0 lossless to 51, default 17)")->check(CLI::Range(0, 51))->needs(capture);
    app.add_option("--from", o.from_ms, "capture from this time of the show, in ms");
    app.add_option("--to", o.to_ms, "capture up to this time of the show, in ms (default: the show's end, "
        "131500 in the default show)");
    auto* frame = app.add_option("--frame", o.frame_ms, "render the single frame at MS ms off screen");
    auto* out = app.add_option("-o", o.frame_out, "PNG file for --frame");
    frame->needs(out);
    out->needs(frame);
    auto* timedemo = app.add_flag("--timedemo", o.timedemo,
        "render every segment for a fixed number of frames off screen as fast as possible "
        "and print milliseconds per frame");
    app.add_option("--frames", o.timedemo_frames, "frames per segment of the timedemo (default 200)")
        ->check(CLI::Range(1u, 10000u))->needs(timedemo);
    capture_jobs_add_options(app, capture);
    capture->excludes(frame)->excludes(timedemo)->excludes(costs);
    for (CLI::Option* off_screen : {capture, frame, timedemo, costs})
        off_screen->excludes(loop)->excludes(desktop)->excludes(windowed)->excludes(no_vsync);
    ssaa->excludes(timedemo)->excludes(costs);
    frame->excludes(timedemo)->excludes(costs);
    timedemo->excludes(costs);
    app.add_option("--start", o.start_ms, "play the show from this time, in ms, with the music from the same moment")
        ->excludes(capture)->excludes(frame)->excludes(timedemo)
        ->excludes(costs);
    app.add_flag("--edit", o.edit, "play in a window for authoring: Space pause, Left/Right seek (Shift finer), "
        "Page Up/Down segment, Home restart, [ ] loop in/out, L loop on/off")
        ->excludes(capture)->excludes(frame)->excludes(timedemo)->excludes(costs);
}

// --size, --fps, --ssaa and --crf beyond what their own checks see; throws a
// usage error naming the option and its limits.
static void shell_check_picture_options(const CLI::App& app, shell_options& o)
{
    if (!o.size_text.empty()) {
        std::string problem = picture_parse_size(o.size_text, o.width, o.height);
        if (!problem.empty())
            throw CLI::ValidationError("--size", problem);
    }
    if (!o.fps_text.empty()) {
        std::string problem = capture_parse_rate(o.fps_text, o.fps);
        if (!problem.empty())
            throw CLI::ValidationError("--fps", problem);
    }
    if (app.count("--ssaa") > 0 && o.capture_out.empty() && !o.frame_ms)
        throw CLI::ValidationError("--ssaa", "needs --capture or --frame");
    bool video = capture_is_video(o.capture_out);
    if (app.count("--crf") > 0 && !video)
        throw CLI::ValidationError("--crf", "needs --capture into a video file (.mp4)");
    if (video && (o.width % 2 != 0 || o.height % 2 != 0))
        throw CLI::ValidationError("--size", "'" + o.size_text + "': an H.264 video needs an even width and "
                                   "height, from 160x120 to 7680x4320");
}

// Parses the command line; returns -1 to go on, or the exit status to end with.
static int shell_parse_args(int argc, char** argv)
{
    SHELL_ARGS.assign(argv + 1, argv + argc);
    SHELL_OPTIONS = shell_options{};
    SHELL_OPTIONS.bmark = argc > 1 && std::string(argv[1]) == "-bmark";
    std::vector<std::string> rest(SHELL_ARGS.begin() + (SHELL_OPTIONS.bmark ? 1 : 0), SHELL_ARGS.end());

    CLI::App app{"qiv - a self-running real-time 3D demo.\n"
                 "Plays the show from the data folder given with --data, else ./data,\n"
                 "else the data installed with qiv.\n"
                 "\"-bmark\" as the first argument shows a running benchmark score and\n"
                 "prints frames per segment, frames per second and the score at the end.",
                 "qiv"};
    app.allow_windows_style_options(false);  // the same command line in the Windows build
    shell_add_options(app, SHELL_OPTIONS);
    std::reverse(rest.begin(), rest.end());  // CLI11 takes the arguments in reverse order
    try {
        app.parse(rest);
        for (const char* name : {"--fps", "--from", "--to"})
            if (app.count(name) > 0 && SHELL_OPTIONS.capture_out.empty() && !SHELL_OPTIONS.frame_costs)
                throw CLI::ValidationError(name, "needs --capture or --frame-costs");
        shell_to_given = app.count("--to") > 0;
        if (SHELL_OPTIONS.from_ms > SHELL_OPTIONS.to_ms)
            throw CLI::ValidationError("--from", "must not be later than --to");
        shell_check_picture_options(app, SHELL_OPTIONS);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    return -1;
}

// The score from the data folder's show file, if any; the times the command
// line gives are checked against its length. Returns -1 to go on, or the
// exit status to end with.
static int shell_read_show()
{
    show_file_load(SHELL_OPTIONS.data_dir);
    if (!shell_to_given)
        SHELL_OPTIONS.to_ms = SHOW.length;
    if (SHELL_OPTIONS.start_ms >= SHOW.length) {
        std::fprintf(stderr, "--start: %u is not in the show (0 to %u ms)\n", SHELL_OPTIONS.start_ms,
                     SHOW.length - 1);
        return 2;
    }
    return -1;
}

static bool shell_off_screen()
{
    return !SHELL_OPTIONS.capture_out.empty() || SHELL_OPTIONS.frame_ms || SHELL_OPTIONS.timedemo ||
           SHELL_OPTIONS.frame_costs;
}

// --- start-up and shutdown ----------------------------------------------------
static void shell_start_window()
{
    const shell_options& o = SHELL_OPTIONS;
    WINDOW_OPTIONS = window_options{};
    WINDOW_OPTIONS.windowed = o.windowed || o.edit;
    WINDOW_OPTIONS.desktop = o.desktop;
    WINDOW_OPTIONS.offscreen = shell_off_screen();
    WINDOW_OPTIONS.vsync = (o.windowed || o.desktop) && !o.no_vsync && !o.bmark;
    WINDOW_OPTIONS.width = o.width;
    WINDOW_OPTIONS.height = o.height;
    WINDOW_OPTIONS.ssaa = o.ssaa;
    CAPTURE_WIDTH = o.width;
    CAPTURE_HEIGHT = o.height;
    CAPTURE_SSAA = o.ssaa;
    window_install_signal_handlers();
    if (!WINDOW_CREATE()) {
        if (WINDOW_OPTIONS.offscreen)
            fatal_raise("no " + std::to_string(o.width * o.ssaa) + "x" + std::to_string(o.height * o.ssaa) +
                        " off-screen picture could be drawn (" + window_last_error() + ")");
        fatal_raise("no display could be opened (" + window_last_error() + "); run qiv on a graphical display");
    }
}

// False when no audio output could be opened (the caller ends the program).
static bool shell_start_audio()
{
    if (shell_off_screen())
        return true;  // off-screen runs play no sound
    if (BASSINIT(0, nullptr) > 0)
        return false;
    shell_audio_started = true;
    return true;
}

static void shell_start_music()
{
    if (!shell_audio_started)
        return;
    std::string music = SHELL_OPTIONS.data_dir + "/" + SHOW.music;
    BASSADDMUSIC(music);
    if (!bass_play_music_from(0, SHELL_OPTIONS.start_ms))
        std::fprintf(stderr, "qiv: %s could not be played; the show runs in silence\n", music.c_str());
}

static void shell_start_clock()
{
    clock_set_virtual(shell_off_screen());
    clock_set_virtual_ms(0);
}

// Returns false when the program must end at once (no audio output).
static bool shell_start_up()
{
    shell_start_clock();
    random_seed(SHELL_OPTIONS.seed ? *SHELL_OPTIONS.seed : clock_tick_count());
    starfield_fill();
    for (int32_t& f : SEGMENT_FRAMES)
        f = 0;
    for (double& s : SEGMENT_SECONDS)
        s = 0;
    FRAMES_DRAWN = 0;
    LOAD_STEP = 0;
    QUIT_REQUESTED = 0;
    TX_INIT();
    shell_start_window();
    if (!shell_start_audio())
        return false;
    FONT_TEXTURE = font_build_texture();
    shell_load_content();
    if (QUIT_REQUESTED == 0)
        start_prepare(SHELL_OPTIONS.start_ms);  // --start: the segment's particles so far
    if (QUIT_REQUESTED == 0 && !SHELL_OPTIONS.frame_ms)
        shell_warm_up();  // the driver's compiles before the first frame (one frame needs none)
    shell_start_music();
    START_MS = clock_now_ms() - SHELL_OPTIONS.start_ms;
    ELAPSED_MS = SHELL_OPTIONS.start_ms;
    return true;
}

static void shell_stop_audio()
{
    if (shell_audio_started)
        BASSDONE();
    shell_audio_started = false;
}

static void shell_shut_down()
{
    shell_stop_audio();
    shell_release_loading_context();
    WINDOW_DESTROY();
}

static void shell_run()
{
    const shell_options& o = SHELL_OPTIONS;
    if (QUIT_REQUESTED != 0)
        return;  // a quit during loading: no frame is drawn
    if (!o.capture_out.empty())
        shell_run_capture();
    else if (o.frame_ms)
        shell_run_frame();
    else if (o.timedemo)
        shell_run_timedemo();
    else if (o.frame_costs)
        shell_run_frame_costs();
    else if (o.edit)
        shell_run_edit();
    else
        shell_run_show();
}

// The folders above what the run writes (--capture OUT, -o FILE).
static void shell_make_out_folders(folders_made& made)
{
    if (!SHELL_OPTIONS.capture_out.empty())
        folders_make_parent(made, SHELL_OPTIONS.capture_out);
    if (!SHELL_OPTIONS.frame_out.empty())
        folders_make_parent(made, SHELL_OPTIONS.frame_out);
}

// --- public functions ---------------------------------------------------------
std::string shell_bench_summary(const double* seconds)
{
    std::string text;
    char line[128];
    for (int s = 1; s <= timeline_segments(); ++s) {
        double fps = seconds[s] > 0 ? SEGMENT_FRAMES[s] / seconds[s] : 0.0;
        std::snprintf(line, sizeof line, "segment %d: %d frames, %.2f fps\n", s, SEGMENT_FRAMES[s], fps);
        text += line;
    }
    return text + "score: " + INT_TO_STR(timeline_bench_score(SEGMENT_FRAMES)) + " points\n";
}

int shell_main(int argc, char** argv)
{
    int status = shell_parse_args(argc, argv);
    if (status >= 0)
        return status;
    // --data DIR, else ./data, else data/ beside the program, else the
    // installed data; fatal when none is there.
    SHELL_OPTIONS.data_dir = datadir_find(SHELL_OPTIONS.data_dir);
    status = shell_read_show();
    if (status >= 0)
        return status;
    folders_made made;  // kept only when the run succeeds
    shell_make_out_folders(made);
    status = capture_jobs_main();  // a capture split over several processes
    if (status == 0)
        folders_keep(made);
    if (status >= 0)
        return status;
    try {
        if (!shell_start_up()) {
            WINDOW_DESTROY();
            std::fprintf(stderr, "qiv: no audio output could be opened; to run without sound, "
                                 "start qiv with SDL_AUDIODRIVER=dummy\n");
            return 1;
        }
        shell_run();
    } catch (...) {
        shell_stop_audio();  // the audio thread must stop before the program ends
        throw;               // main() shows the message, then closes the window
    }
    shell_shut_down();
    if (SHELL_OPTIONS.verbose)
        std::fprintf(stderr, "qiv: %d loading steps, %u frames drawn\n", LOAD_STEP, FRAMES_DRAWN);
    if (SHELL_OPTIONS.bmark)
        std::fputs(shell_bench_summary(SEGMENT_SECONDS).c_str(), stdout);
    folders_keep(made);
    return 0;
}
