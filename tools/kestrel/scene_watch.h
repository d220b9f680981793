// tools/kestrel/scene_watch.h - the viewer's watch loop: reload what changed on disk.
//
// `kestrel view --watch` keeps the scene on screen in step with its files: the
// scene file, the configuration file and every texture file the scene binds.
// Each frame the viewer calls kwatch_step, which looks at the files' stamps
// (existence, size, modification time, inode) and acts on changes only once
// every changed file's new stamp has held for a settling time, so a file that
// an editor is still writing is never read half-way (nor a scene read while
// its configuration file is being saved); a stamp that moves while a reload
// reads the files sends the result back to the waiting state instead.
//
// What a settled change does:
//   - a texture file: its image is uploaded again into the loaded texture
//     (every user sees it at once);
//   - the scene or the configuration file: a whole new scene is built (load,
//     prepare, configure, bind textures) beside the one on screen and, only
//     when every step succeeded, put in its place (kview_scene_replace); the
//     frame and the pause state belong to the caller and are not touched;
//   - after a failed reload, any change of any watched file (the textures the
//     broken version named included, so a texture created afterwards counts)
//     tries the whole build again.
// A failure leaves the scene on screen as it was, and its message (naming the
// file) is the step's result; nothing is ever written. Reads go through the
// engine's own loader, configuration reader and texture manager.
//
// Time comes from the caller (milliseconds), so tests can drive the loop
// without a window or real waiting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene_view.h"
#include "support/file_stamp.h"

// One watched file.
struct kwatch_file {
    std::string  path;           // the file on disk
    std::string  texture;        // texture request it holds ("" for scene and config)
    file_stamp   seen;           // stamp the scene on screen (or the last try) was built from
    file_stamp   pending;        // a different stamp waiting to settle
    uint32_t     pending_since = 0;
    bool         waiting = false;  // pending holds a stamp
    std::string  error;          // textures: why the last upload failed; "" when it did not
};

enum kwatch_result {
    KWATCH_NONE,      // nothing changed (or a change is still settling)
    KWATCH_RELOADED,  // a new scene is on screen
    KWATCH_TEXTURES,  // texture images were uploaded again
    KWATCH_FAILED,    // a changed file is broken; the scene on screen stays
};

struct kwatch_state {
    kview_source             source;
    uint32_t                 settle_ms = 300;  // a new stamp must hold this long
    std::vector<kwatch_file> files;            // scene, config (if any), textures
    std::string              build_error;      // why the last scene build failed; "" when it did not
    std::string              error;            // the failure to show: build_error, else a texture's; "" when all is well
};

// Starts watching the files of `source` and of the scene on screen.
void kwatch_begin(kwatch_state& watch, const kview_source& source, const KST_SCENE& scene);
// Looks at the files and reloads what settled; see above.
kwatch_result kwatch_step(kwatch_state& watch, kview_scene& view, uint32_t now_ms);
