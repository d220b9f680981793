// tools/kestrel/cmd_dump.cpp - `kestrel dump FILE.kst`: a scene as JSON.
//
// Loads and prepares the scene exactly as the demo does (KST_SCENE_LOAD) and
// prints it as one JSON object (scene_json.h fixes the members and formats).
// Load failures are fatal errors naming the file (exit 1); reports of skipped
// chunks go to stderr and do not change the exit status.
#include <cstdio>
#include <memory>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "registry.h"
#include "scene_json.h"

static void dump_run(const std::string& file)
{
    KST_SCENE scene{};
    KST_SCENE_LOAD(scene, file);
    std::string text = kst_json_text(kst_scene_json(scene));
    KST_SCENE_FREE(scene);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

static kcmd_register dump_registration("dump", [](CLI::App& app, int& status) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("dump", "Load and prepare a scene and print it as JSON");
    sub->add_option("FILE", *file, "scene file (.kst)")->required();
    sub->callback([file, &status]() {
        dump_run(*file);
        status = 0;
    });
});
