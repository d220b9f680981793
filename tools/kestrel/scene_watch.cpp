// tools/kestrel/scene_watch.cpp - the viewer's watch loop (see scene_watch.h).
//
// Stamps (support/file_stamp.h): size, modification time in nanoseconds and
// inode together catch both editors that write in place and editors that
// write a new file and rename it over the old one. Polling a handful of files
// once a frame costs one stat(2) each, less than one texture bind, and needs
// no inotify descriptor to outlive a rename.
#include "scene_watch.h"

#include <algorithm>

#include "engine/scene/textures.h"
#include "engine/textures/texture_manager.h"
#include "support/error.h"

// --- internal helpers ---------------------------------------------------------
static kwatch_file kwatch_make(const std::string& path, const std::string& texture)
{
    kwatch_file f;
    f.path = path;
    f.texture = texture;
    f.seen = file_stamp_of(path);
    return f;
}

// Scene and configuration file first, then one entry per texture request.
static void kwatch_add_textures(kwatch_state& watch, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        auto same = [&](const kwatch_file& f) { return f.texture == name; };
        if (std::none_of(watch.files.begin(), watch.files.end(), same))
            watch.files.push_back(kwatch_make(tx_file_for(name), name));
    }
}

// Keeps the scene and configuration entries and the textures in `names`.
static void kwatch_keep_textures(kwatch_state& watch, const std::vector<std::string>& names)
{
    std::erase_if(watch.files, [&](const kwatch_file& f) {
        return !f.texture.empty() && std::find(names.begin(), names.end(), f.texture) == names.end();
    });
    kwatch_add_textures(watch, names);
}

enum kwatch_phase { KWATCH_SAME, KWATCH_SETTLING, KWATCH_SETTLED };

// Advances one file's settling: unchanged, changed but not yet still for long
// enough, or changed and settled.
static kwatch_phase kwatch_settle(kwatch_file& f, uint32_t settle_ms, uint32_t now)
{
    file_stamp s = file_stamp_of(f.path);
    if (s == f.seen) {
        f.waiting = false;
        return KWATCH_SAME;
    }
    if (!f.waiting || !(s == f.pending)) {
        f.pending = s;
        f.pending_since = now;
        f.waiting = true;
        return KWATCH_SETTLING;
    }
    return now - f.pending_since >= settle_ms ? KWATCH_SETTLED : KWATCH_SETTLING;
}

// True when no file moved while the reload read them (each still has the
// stamp it was read with). Files that moved wait again.
static bool kwatch_unchanged(kwatch_state& watch, uint32_t now)
{
    bool same = true;
    for (kwatch_file& f : watch.files) {
        file_stamp s = file_stamp_of(f.path);
        if (s == (f.waiting ? f.pending : f.seen))
            continue;
        f.pending = s;
        f.pending_since = now;
        f.waiting = true;
        same = false;
    }
    return same;
}

// Uploads the settled texture files again; false when one of them is broken.
static bool kwatch_reload_textures(kwatch_state& watch, const std::vector<size_t>& settled, KST_SCENE& scene)
{
    bool ok = true, any = false;
    for (size_t i : settled) {
        kwatch_file& f = watch.files[i];
        if (f.texture.empty())
            continue;
        try {
            any = tx_reload(f.texture) > 0 || any;
            f.error.clear();
        } catch (const fatal_error& e) {
            f.error = e.what();
            ok = false;
        }
    }
    if (any)
        kst_scene_texture_types(scene);
    return ok;
}

// Builds the scene again; on success it is in `fresh`, else build_error says why.
static bool kwatch_rebuild(kwatch_state& watch, KST_SCENE& fresh)
{
    std::vector<std::string> names;
    try {
        kview_scene_build(fresh, watch.source, &names);
    } catch (const fatal_error& e) {
        watch.build_error = e.what();
        kwatch_add_textures(watch, names);  // a texture made afterwards retries
        return false;
    }
    watch.build_error.clear();
    return true;
}

static void kwatch_accept(kwatch_state& watch, const std::vector<size_t>& settled)
{
    for (size_t i : settled) {
        watch.files[i].seen = watch.files[i].pending;
        watch.files[i].waiting = false;
    }
}

static void kwatch_update_error(kwatch_state& watch)
{
    watch.error = watch.build_error;
    for (const kwatch_file& f : watch.files)
        if (watch.error.empty() && !f.error.empty())
            watch.error = f.error;
}

// --- public functions ---------------------------------------------------------
void kwatch_begin(kwatch_state& watch, const kview_source& source, const KST_SCENE& scene)
{
    watch.source = source;
    watch.files.clear();
    watch.files.push_back(kwatch_make(source.file, ""));
    if (!source.config.empty())
        watch.files.push_back(kwatch_make(source.config, ""));
    kwatch_add_textures(watch, kst_scene_texture_names(scene, kview_source_data(source)));
    watch.build_error.clear();
    watch.error.clear();
}

kwatch_result kwatch_step(kwatch_state& watch, kview_scene& view, uint32_t now_ms)
{
    std::vector<size_t> settled;
    bool files_changed = false, settling = false;
    for (size_t i = 0; i < watch.files.size(); ++i) {
        kwatch_phase phase = kwatch_settle(watch.files[i], watch.settle_ms, now_ms);
        settling = settling || phase == KWATCH_SETTLING;
        if (phase != KWATCH_SETTLED)
            continue;
        settled.push_back(i);
        files_changed = files_changed || watch.files[i].texture.empty();
    }
    if (settled.empty() || settling)
        return KWATCH_NONE;  // act only once every file being written has settled
    bool textures_ok = kwatch_reload_textures(watch, settled, view.scene);
    bool rebuild = files_changed || !watch.build_error.empty();
    KST_SCENE fresh{};
    bool built = rebuild && kwatch_rebuild(watch, fresh);
    if (!kwatch_unchanged(watch, now_ms)) {
        kview_scene_release(fresh);  // written while we read: wait for it to settle again
        return KWATCH_NONE;
    }
    kwatch_accept(watch, settled);
    if (built) {
        kview_scene_replace(view, fresh);
        kwatch_keep_textures(watch, kst_scene_texture_names(view.scene, kview_source_data(watch.source)));
    }
    kwatch_update_error(watch);
    if (!textures_ok || (rebuild && !built))
        return KWATCH_FAILED;
    return built ? KWATCH_RELOADED : KWATCH_TEXTURES;
}
