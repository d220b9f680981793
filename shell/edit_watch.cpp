// shell/edit_watch.cpp - qiv --edit keeps the show in step with its files.
//
// The files of the show are looked at every EDIT_WATCH_POLL_MS by their
// stamps (existence, size, modification time): show.toml (also while it does
// not exist yet), every layer set and scene file the score names, the images
// those layers and scenes bind, and the music. A change is acted on once no
// watched stamp has moved for EDIT_WATCH_SETTLE_MS, so a file an editor is
// still writing is not read half-way.
//
// Only what changed is read again, so the rest of the show keeps its state:
// - an image is uploaded again into the textures that use it (tx_reload):
//   every scene and layer sharing it shows the new picture, nothing reloads;
// - a scene or layer file is loaded into a fresh record beside the one
//   playing, which it replaces only when every changed file loaded; a scene
//   built again takes over the particles in flight of the one it replaces;
// - the show file builds the whole show again beside the one playing (the
//   score may have moved anything), the scenes keeping their particles where
//   the same file has a pool of the same size;
// - the music plays again from the current time.
// Everything the show draws from follows the show time, which a reload keeps,
// so animation goes on where it was. A failure leaves the last good show
// playing and its message (naming the file) goes to stderr and to the
// overlay; while a failure stands, the next change of any file tries the
// whole show again, so a missing image the author then saves is picked up.
#include "shell/edit.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "audio/player.h"
#include "engine/render/particles.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "engine/textures/texture_manager.h"
#include "ife/ife.h"
#include "shell/shell.h"
#include "shell/show_file.h"
#include "support/error.h"
#include "support/file_stamp.h"

// --- module state -------------------------------------------------------------
constexpr uint32_t EDIT_WATCH_POLL_MS   = 200;
constexpr uint32_t EDIT_WATCH_SETTLE_MS = 300;

namespace {
enum edit_file_kind { EDIT_FILE_SHOW, EDIT_FILE_MUSIC, EDIT_FILE_LAYERS, EDIT_FILE_SCENE, EDIT_FILE_IMAGE };

struct edit_watched {
    std::string    path;
    edit_file_kind kind = EDIT_FILE_SHOW;
    size_t         slot = 0;   // layer set or scene slot
    std::string    texture;    // the texture manager's name of an image
    file_stamp     seen;
};

// What one look found changed and settled.
struct edit_changes {
    bool                     show = false, music = false;
    std::vector<size_t>      scenes, layers;
    std::vector<std::string> textures;
    bool any_file() const { return show || !scenes.empty() || !layers.empty() || !textures.empty(); }
};

struct edit_watch_state {
    std::vector<edit_watched> files;
    std::vector<file_stamp>   last_poll;   // what the previous poll saw
    uint32_t                  polled = 0;  // real ms of the last poll
    uint32_t                  moved = 0;   // real ms a stamp last moved
    std::string               error;      // the last reload's failure, "" after a success
    bool                      load_failed = false;  // a show, scene or layer file did not load
    std::vector<std::string>  retry;      // images named by scenes that failed to load
};

edit_watch_state edit_watch;
}  // namespace

// --- internal helpers ---------------------------------------------------------
static void edit_watch_image(std::vector<edit_watched>& files, const std::string& texture)
{
    for (const edit_watched& f : files)
        if (f.kind == EDIT_FILE_IMAGE && f.texture == texture)
            return;
    files.push_back({tx_file_for(texture), EDIT_FILE_IMAGE, 0, texture, {}});
}

static void edit_watch_list(const show_score& score)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    std::vector<edit_watched> files;
    files.push_back({dir + "/" + SHOW_FILE_NAME, EDIT_FILE_SHOW, 0, "", {}});
    files.push_back({dir + "/" + score.music, EDIT_FILE_MUSIC, 0, "", {}});
    for (size_t i = 0; i < score.layer_sets.size(); ++i)
        files.push_back({dir + "/" + score.layer_sets[i] + ".ife", EDIT_FILE_LAYERS, i, "", {}});
    for (size_t i = 0; i < score.scenes.size(); ++i)
        files.push_back({dir + "/" + score.scenes[i].stem + ".kst", EDIT_FILE_SCENE, i, "", {}});
    for (size_t i = 0; i < score.layer_sets.size(); ++i)
        for (const std::string& t : ife_texture_names(SHELL_LAYERS[i], dir))
            edit_watch_image(files, t);
    for (size_t i = 0; i < score.scenes.size(); ++i)
        for (const std::string& t : score.scenes[i].textures ? kst_scene_texture_names(SHELL_SCENES[i], dir)
                                                             : std::vector<std::string>{})
            edit_watch_image(files, t);
    for (const std::string& t : edit_watch.retry)
        edit_watch_image(files, t);
    for (edit_watched& f : files)
        f.seen = file_stamp_of(f.path);
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

static void edit_fail(const fatal_error& e, bool load)
{
    edit_watch.error = e.what();
    edit_watch.load_failed = edit_watch.load_failed || load;
    std::fprintf(stderr, "qiv: %s (the last good show keeps playing)\n", e.what());
}

// Loads one scene of the score into a fresh record; fatal_error on a fault.
// The images it names are kept for the watch list before they are bound.
static void edit_load_scene(KST_SCENE& scene, const score_scene& s)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    KST_SCENE_LOAD(scene, dir + "/" + s.stem + ".kst");
    if (s.textures) {
        for (const std::string& t : kst_scene_texture_names(scene, dir))
            edit_watch.retry.push_back(t);
        KST_SCENE_TEXTURES(scene, dir);
    }
    if (s.particles > 0)
        KST_PARTICLES_INIT(scene, s.particles);
}

static void edit_load_layers(ife_interface& layers, const std::string& stem)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    IFE_LOAD(layers, dir + "/" + stem + ".ife", dir);
}

// Puts a fresh scene in slot i, taking over the particles of the one there.
static void edit_place_scene(size_t i, KST_SCENE& fresh)
{
    kst_particles_carry(fresh, SHELL_SCENES[i]);
    std::vector<KST_SCENE> old{SHELL_SCENES[i]};
    std::vector<ife_interface> none;
    edit_release(old, none);
    SHELL_SCENES[i] = fresh;
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
        for (size_t i = 0; i < score.layer_sets.size(); ++i)
            edit_load_layers(layers[i], score.layer_sets[i]);
        for (size_t i = 0; i < score.scenes.size(); ++i)
            edit_load_scene(scenes[i], score.scenes[i]);
    } catch (const fatal_error& e) {
        edit_release(scenes, layers);
        edit_fail(e, true);
        return false;
    }
    for (size_t i = 0; i < scenes.size(); ++i)
        for (size_t j = 0; j < SHOW.scenes.size(); ++j)
            if (SHOW.scenes[j].stem == score.scenes[i].stem)
                kst_particles_carry(scenes[i], SHELL_SCENES[j]);
    std::vector<KST_SCENE> old_scenes(SHELL_SCENES, SHELL_SCENES + SHOW.scenes.size());
    std::vector<ife_interface> old_layers(SHELL_LAYERS, SHELL_LAYERS + SHOW.layer_sets.size());
    edit_release(old_scenes, old_layers);
    for (size_t i = 0; i < SCORE_MAX_SCENES; ++i)
        SHELL_SCENES[i] = i < scenes.size() ? scenes[i] : KST_SCENE{};
    for (size_t i = 0; i < SCORE_MAX_LAYER_SETS; ++i)
        SHELL_LAYERS[i] = i < layers.size() ? layers[i] : ife_interface{};
    SHOW = std::move(score);
    std::fprintf(stderr, "qiv: reloaded the show from %s\n", SHELL_OPTIONS.data_dir.c_str());
    return true;
}

// Loads the changed scene and layer files; they replace the ones playing only
// when all of them loaded.
static bool edit_reload_files(const edit_changes& c)
{
    std::vector<KST_SCENE> scenes(c.scenes.size());
    std::vector<ife_interface> layers(c.layers.size());
    try {
        for (size_t k = 0; k < c.layers.size(); ++k)
            edit_load_layers(layers[k], SHOW.layer_sets[c.layers[k]]);
        for (size_t k = 0; k < c.scenes.size(); ++k)
            edit_load_scene(scenes[k], SHOW.scenes[c.scenes[k]]);
    } catch (const fatal_error& e) {
        edit_release(scenes, layers);
        edit_fail(e, true);
        return false;
    }
    const std::string& dir = SHELL_OPTIONS.data_dir;
    for (size_t k = 0; k < c.layers.size(); ++k) {
        IFE_FREE(SHELL_LAYERS[c.layers[k]]);
        SHELL_LAYERS[c.layers[k]] = layers[k];
        std::fprintf(stderr, "qiv: reloaded %s/%s.ife\n", dir.c_str(), SHOW.layer_sets[c.layers[k]].c_str());
    }
    for (size_t k = 0; k < c.scenes.size(); ++k) {
        edit_place_scene(c.scenes[k], scenes[k]);
        std::fprintf(stderr, "qiv: reloaded %s/%s.kst\n", dir.c_str(), SHOW.scenes[c.scenes[k]].stem.c_str());
    }
    return true;
}

// Uploads the changed images again; true when any was in use. A broken one
// keeps its last good picture and is tried again when it next changes.
static bool edit_reload_images(const std::vector<std::string>& textures)
{
    bool any = false;
    for (const std::string& t : textures) {
        try {
            if (tx_reload(t) > 0) {
                any = true;
                std::fprintf(stderr, "qiv: reloaded the image %s\n", tx_file_for(t).c_str());
            }
        } catch (const fatal_error& e) {
            edit_fail(e, false);
        }
    }
    for (size_t i = 0; any && i < SHOW.scenes.size(); ++i)
        kst_scene_texture_types(SHELL_SCENES[i]);
    return any;
}

// The changed, settled files (their new stamps taken as seen).
static edit_changes edit_collect(const std::vector<file_stamp>& stamps)
{
    edit_changes c;
    for (size_t i = 0; i < edit_watch.files.size(); ++i) {
        edit_watched& f = edit_watch.files[i];
        if (stamps[i] == f.seen)
            continue;
        f.seen = stamps[i];
        switch (f.kind) {
        case EDIT_FILE_SHOW: c.show = true; break;
        case EDIT_FILE_MUSIC: c.music = true; break;
        case EDIT_FILE_LAYERS: c.layers.push_back(f.slot); break;
        case EDIT_FILE_SCENE: c.scenes.push_back(f.slot); break;
        case EDIT_FILE_IMAGE: c.textures.push_back(f.texture); break;
        }
    }
    return c;
}

// Reads again what changed; true when anything on screen was replaced.
static bool edit_apply(const edit_changes& c)
{
    if (!c.any_file())
        return false;
    const bool retry_all = c.show || edit_watch.load_failed;
    edit_watch.error.clear();
    edit_watch.load_failed = false;
    edit_watch.retry.clear();
    bool any = edit_reload_images(c.textures);   // before a load shares the old picture
    if (retry_all)
        return edit_rebuild() || any;
    if (!c.scenes.empty() || !c.layers.empty())
        any = edit_reload_files(c) || any;
    return any;
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
    std::vector<file_stamp> stamps;
    bool changed = false;
    for (const edit_watched& f : edit_watch.files) {
        stamps.push_back(file_stamp_of(f.path));
        changed = changed || !(stamps.back() == f.seen);
    }
    if (stamps != edit_watch.last_poll)
        edit_watch.moved = now;
    edit_watch.last_poll = stamps;
    if (!changed || now - edit_watch.moved < EDIT_WATCH_SETTLE_MS)
        return false;
    const std::string music = SHOW.music;
    edit_changes c = edit_collect(stamps);
    bool replaced = edit_apply(c);
    if (c.music || SHOW.music != music) {
        BASSFREEMUSICLIST();
        BASSADDMUSIC(SHELL_OPTIONS.data_dir + "/" + SHOW.music);
        edit_restart_music(t);
    }
    edit_watch_list(SHOW);  // the show's files now (after a failure: the same, and the failed scene's images)
    return replaced;
}

const std::string& edit_watch_error()
{
    return edit_watch.error;
}
