// tools/kestrel/cmd_resave.cpp - `kestrel resave IN.kst OUT.kst`.
//
// Loads and prepares IN as the demo does, then writes it with the engine's
// writer (format 1.2) to OUT, which is replaced atomically. Useful to bring
// older files (1.0, 1.1: neighbours computed) to the current format.
#include <memory>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "registry.h"
#include "support/folders.h"

static void resave_run(const std::string& in, const std::string& out)
{
    folders_made made;
    folders_make_parent(made, out);
    KST_SCENE scene{};
    KST_SCENE_LOAD(scene, in);
    try {
        KST_SCENE_SAVE(scene, out);
    } catch (...) {
        KST_SCENE_FREE(scene);
        throw;
    }
    KST_SCENE_FREE(scene);
    folders_keep(made);
}

static kcmd_register resave_registration("resave", [](CLI::App& app, int& status) {
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("resave", "Load and prepare a scene, then write it with the engine's writer");
    sub->add_option("IN", *in, "scene file to read (.kst)")->required();
    sub->add_option("OUT", *out, "scene file to write (.kst)")->required();
    sub->callback([in, out, &status]() {
        resave_run(*in, *out);
        status = 0;
    });
});
