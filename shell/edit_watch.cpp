// shell/edit_watch.cpp - qiv --edit keeps the show in step with its files.
//
// The files of the show (show.toml, also while it does not exist yet, every
// layer set and scene file the score names, and the music) are looked at
// every EDIT_WATCH_POLL_MS by their stamps (existence, size, modification
// time). A change is acted on once no watched stamp has moved for
// EDIT_WATCH_SETTLE_MS, so a file an editor is still writing is not read
// half-way. Then the whole show is built again beside the one playing: the
// show file read and checked, every layer set and scene loaded into fresh
// records (textures bound, particle pools made). Only when everything
// succeeded does it replace the show on screen, at the same time position;
// the old records are released. A failure leaves the last good show playing
// and its message (naming the file) goes to stderr and to the overlay.
// A changed music file is played again from the current time.
//
// Known limits: a texture file changed alone is not seen (the texture
// manager shares textures by name and keeps the first image), and particle
// pools start empty after a reload.
#include "shell/edit.h"

#include <chrono>
#include <filesystem>

#include <cstdio>
#include <vector>

#include "audio/player.h"
#include "engine/render/particles.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "shell/shell.h"
#include "shell/show_file.h"
#include "support/error.h"

// --- module state -------------------------------------------------------------
constexpr uint32_t EDIT_WATCH_POLL_MS   = 200;
constexpr uint32_t EDIT_WATCH_SETTLE_MS = 300;

namespace {
struct edit_stamp {
    bool    exists = false;
    int64_t size = 0;
    int64_t mtime_ns = 0;
    bool operator==(const edit_stamp&) const = default;
};

struct edit_watched {
    std::string path;
    bool        music = false;
    edit_stamp  seen;
};

struct edit_watch_state {
    std::vector<edit_watched> files;
    std::vector<edit_stamp>   last_poll;   // what the previous poll saw
    uint32_t                  polled = 0;  // real ms of the last poll
    uint32_t                  moved = 0;   // real ms a stamp last moved
    bool                      pending = false;
    std::string               error;      // the last reload's failure, "" after a success
};

edit_watch_state edit_watch;
}  // namespace

// --- internal helpers ---------------------------------------------------------
static edit_stamp edit_stamp_of(const std::string& path)
{
    // std::filesystem rather than stat(): the same nanosecond times on Linux,
    // and Windows' own file times in the Windows build.
    std::error_code ec;
    edit_stamp s;
    auto when = std::filesystem::last_write_time(path, ec);
    if (ec)
        return s;
    s.exists = true;
    uintmax_t size = std::filesystem::file_size(path, ec);
    s.size = ec ? 0 : static_cast<int64_t>(size);
    s.mtime_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    return s;
}

static void edit_watch_list(const show_score& score)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    std::vector<edit_watched> files;
    files.push_back({dir + "/" + SHOW_FILE_NAME, false, {}});
    files.push_back({dir + "/" + score.music, true, {}});
    for (const std::string& stem : score.layer_sets)
        files.push_back({dir + "/" + stem + ".ife", false, {}});
    for (const score_scene& scene : score.scenes)
        files.push_back({dir + "/" + scene.stem + ".kst", false, {}});
    for (edit_watched& f : files)
        f.seen = edit_stamp_of(f.path);
    edit_watch.files = files;
    edit_watch.last_poll.clear();
}

static void edit_release(std::vector<KST_SCENE>& scenes, std::vector<ife_interface>& layers)
{
    for (KST_SCENE& s : scenes) {
        KST_PARTICLES_FREE(s);
        KST_SCENE_FREETEXTURES(s);
        KST_SCENE_FREE(s);
    }
    for (ife_interface& l : layers)
        IFE_FREE(l);
}

// Loads everything the score names into fresh records; fatal_error on a fault.
static void edit_load(const show_score& score, std::vector<KST_SCENE>& scenes, std::vector<ife_interface>& layers)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    for (size_t i = 0; i < score.layer_sets.size(); ++i)
        IFE_LOAD(layers[i], dir + "/" + score.layer_sets[i] + ".ife", dir);
    for (size_t i = 0; i < score.scenes.size(); ++i) {
        const score_scene& s = score.scenes[i];
        KST_SCENE_LOAD(scenes[i], dir + "/" + s.stem + ".kst");
        if (s.textures)
            KST_SCENE_TEXTURES(scenes[i], dir);
        if (s.particles > 0)
            KST_PARTICLES_INIT(scenes[i], s.particles);
    }
}

// Builds the show again from its files; true when it replaced the one playing.
static bool edit_rebuild()
{
    show_score score = score_builtin();
    std::vector<KST_SCENE> scenes;
    std::vector<ife_interface> layers;
    try {
        show_file_load_into(SHELL_OPTIONS.data_dir, score);
        scenes.resize(score.scenes.size());
        layers.resize(score.layer_sets.size());
        edit_load(score, scenes, layers);
    } catch (const fatal_error& e) {
        edit_release(scenes, layers);
        edit_watch.error = e.what();
        std::fprintf(stderr, "qiv: %s (the last good show keeps playing)\n", e.what());
        return false;
    }
    std::vector<KST_SCENE> old_scenes(SHELL_SCENES, SHELL_SCENES + SHOW.scenes.size());
    std::vector<ife_interface> old_layers(SHELL_LAYERS, SHELL_LAYERS + SHOW.layer_sets.size());
    edit_release(old_scenes, old_layers);
    for (size_t i = 0; i < SCORE_MAX_SCENES; ++i)
        SHELL_SCENES[i] = i < scenes.size() ? scenes[i] : KST_SCENE{};
    for (size_t i = 0; i < SCORE_MAX_LAYER_SETS; ++i)
        SHELL_LAYERS[i] = i < layers.size() ? layers[i] : ife_interface{};
    SHOW = std::move(score);
    edit_watch.error.clear();
    std::fprintf(stderr, "qiv: reloaded the show from %s\n", SHELL_OPTIONS.data_dir.c_str());
    return true;
}

// --- public functions ---------------------------------------------------------
void edit_watch_begin()
{
    edit_watch = edit_watch_state{};
    edit_watch_list(SHOW);
}

bool edit_watch_step(uint32_t now, uint32_t t)
{
    if (now - edit_watch.polled < EDIT_WATCH_POLL_MS)
        return false;
    edit_watch.polled = now;
    std::vector<edit_stamp> stamps;
    bool changed = false;
    for (const edit_watched& f : edit_watch.files) {
        stamps.push_back(edit_stamp_of(f.path));
        changed = changed || !(stamps.back() == f.seen);
    }
    if (stamps != edit_watch.last_poll)
        edit_watch.moved = now;
    edit_watch.last_poll = stamps;
    if (!changed || now - edit_watch.moved < EDIT_WATCH_SETTLE_MS)
        return false;
    bool music_only = true;
    for (size_t i = 0; i < edit_watch.files.size(); ++i)
        if (!(stamps[i] == edit_watch.files[i].seen) && !edit_watch.files[i].music)
            music_only = false;
    for (size_t i = 0; i < edit_watch.files.size(); ++i)
        edit_watch.files[i].seen = stamps[i];
    bool rebuilt = !music_only && edit_rebuild();
    if (music_only || rebuilt) {
        BASSFREEMUSICLIST();
        BASSADDMUSIC(SHELL_OPTIONS.data_dir + "/" + SHOW.music);
        edit_restart_music(t);
    }
    edit_watch_list(SHOW);  // the new show's files (after a failure: the same)
    return rebuilt;
}

const std::string& edit_watch_error()
{
    return edit_watch.error;
}
