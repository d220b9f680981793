// tools/kestrel/cmd_geodump.cpp - "kestrel geodump": a scene's geometry as text.
//
// Loads and prepares the scene as the demo does and writes every object's
// vertices to BASE + "v" and its faces to BASE + "f" (no dot is added), one
// numbered line per vertex or face under the object's name.
#include <memory>
#include <string>

#include "engine/config/config.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "registry.h"
#include "support/folders.h"

// --- types --------------------------------------------------------------------------
struct cmd_geodump_args {
    std::string scene;  // input scene file
    std::string base;   // output name without the "v" / "f"
};

// --- internal helpers ---------------------------------------------------------------
static void cmd_geodump_run(const cmd_geodump_args& a)
{
    folders_made made;
    folders_make_parent(made, a.base + "v");
    KST_SCENE scene{};
    try {
        KST_SCENE_LOAD(scene, a.scene);
        CONFIG_GEOMETRYDUMP(scene, a.base);
    } catch (...) {
        KST_SCENE_FREE(scene);
        throw;
    }
    KST_SCENE_FREE(scene);
    folders_keep(made);
}

static void cmd_geodump_add(CLI::App& app, int&)
{
    auto args = std::make_shared<cmd_geodump_args>();
    CLI::App* cmd = app.add_subcommand("geodump", "Write a scene's vertices and faces as text files");
    cmd->add_option("SCENE", args->scene, "scene file (.kst)")->required();
    cmd->add_option("BASE", args->base, "output base name: writes BASE + \"v\" and BASE + \"f\"")
        ->required();
    cmd->callback([args]() { cmd_geodump_run(*args); });
}

static kcmd_register cmd_geodump_registration("geodump", cmd_geodump_add);
