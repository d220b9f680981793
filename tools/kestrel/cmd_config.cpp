// tools/kestrel/cmd_config.cpp - "kestrel config write" and "kestrel config apply".
//
// write: loads and prepares a scene as the demo does and saves its
// configuration file. The blend and pass lines of that file are derived from
// each material's texture bit depth, which is only known once the textures are
// bound; with --data DIR the tool opens an off-screen GL context, binds the
// scene's textures from DIR through the texture manager, and writes after
// that. Without --data every material counts as 24-bit (its prepared value).
//
// apply: loads a scene, applies a configuration file to it and writes the
// result with the engine's scene writer. Nothing is bound: the reader changes
// texture names only.
//
// Bad or unreadable files are fatal errors (exit 1); CLI11 handles usage (2).
#include <memory>
#include <string>

#include "engine/config/config.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "engine/scene/writer.h"
#include "engine/textures/texture_manager.h"
#include "registry.h"
#include "platform/glcontext.h"
#include "support/error.h"
#include "support/folders.h"

// --- types --------------------------------------------------------------------------
struct cmd_config_args {
    std::string scene;   // input scene file
    std::string config;  // configuration file written or applied
    std::string output;  // scene written by apply
    std::string data;    // texture folder for write; empty: no binding
};

// A loaded scene released on every way out.
struct cmd_config_scene {
    KST_SCENE scene{};
    explicit cmd_config_scene(const std::string& file)
    {
        try {
            KST_SCENE_LOAD(scene, file);
        } catch (...) {
            KST_SCENE_FREE(scene);
            throw;
        }
    }
    ~cmd_config_scene() { KST_SCENE_FREE(scene); }
    cmd_config_scene(const cmd_config_scene&) = delete;
    cmd_config_scene& operator=(const cmd_config_scene&) = delete;
};

// An off-screen GL context with a fresh texture table, closed on every way out.
struct cmd_config_gl {
    gl_context ctx;
    cmd_config_gl()
    {
        gl_context_options options;
        options.offscreen = true;
        options.visible = false;
        std::string error;
        if (!gl_context_open(ctx, options, error))
            fatal_raise("cannot open an off-screen GL context to bind textures: " + error);
        TX_INIT();
    }
    ~cmd_config_gl()
    {
        TX_FREEALL();
        gl_context_close(ctx);
    }
    cmd_config_gl(const cmd_config_gl&) = delete;
    cmd_config_gl& operator=(const cmd_config_gl&) = delete;
};

// --- internal helpers ---------------------------------------------------------------
static void cmd_config_write_to(const cmd_config_args& a)
{
    if (a.data.empty()) {
        cmd_config_scene s(a.scene);
        CONFIG_WRITE(s.scene, a.config);
        return;
    }
    cmd_config_scene s(a.scene);
    cmd_config_gl gl;
    KST_SCENE_TEXTURES(s.scene, a.data);
    CONFIG_WRITE(s.scene, a.config);
    KST_SCENE_FREETEXTURES(s.scene);
}

static void cmd_config_write(const cmd_config_args& a)
{
    folders_made made;
    folders_make_parent(made, a.config);
    cmd_config_write_to(a);
    folders_keep(made);
}

static void cmd_config_apply(const cmd_config_args& a)
{
    folders_made made;
    folders_make_parent(made, a.output);
    cmd_config_scene s(a.scene);
    CONFIG_READ(s.scene, a.config);
    KST_SCENE_SAVE(s.scene, a.output);
    folders_keep(made);
}

static void cmd_config_add(CLI::App& app, int&)
{
    auto args = std::make_shared<cmd_config_args>();
    CLI::App* config = app.add_subcommand("config", "Write a scene's configuration file, or apply one");
    config->require_subcommand(1);

    CLI::App* write = config->add_subcommand("write", "Write the configuration file of a scene");
    write->add_option("SCENE", args->scene, "scene file (.kst)")->required();
    write->add_option("OUT", args->config, "configuration file to write")->required();
    write->add_option("--data", args->data,
                      "bind the scene's textures from this folder first, so that the derived "
                      "blend and pass lines follow the texture files");
    write->callback([args]() { cmd_config_write(*args); });

    CLI::App* apply = config->add_subcommand("apply", "Apply a configuration file and save the scene");
    apply->add_option("SCENE", args->scene, "scene file (.kst)")->required();
    apply->add_option("CONFIG", args->config, "configuration file to apply")->required();
    apply->add_option("-o,--output", args->output, "scene file to write")->required();
    apply->callback([args]() { cmd_config_apply(*args); });
}

static kcmd_register cmd_config_registration("config", cmd_config_add);
