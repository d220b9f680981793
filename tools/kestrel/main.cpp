// tools/kestrel/main.cpp - the kestrel command: subcommands over the engine.
//
// Each subcommand lives in its own file and registers itself through
// kcmd_registry (registry.h), so adding one touches no other file. Exit
// statuses: 0 success, 1 a bad or unreadable input (fatal_error, message on
// stderr naming the file), 2 a usage error.
#include <cstdio>

#include "kestrel_version.h"
#include "registry.h"
#include "support/error.h"

int main(int argc, char** argv)
{
    CLI::App app{"kestrel - inspect, dump, render, convert and configure Kestrel scenes", "kestrel"};
    app.require_subcommand(1);
    // One command line on every system: CLI11 would otherwise take any word
    // starting with '/' for a Windows-style option in the Windows build,
    // an absolute path among them.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "kestrel " KESTREL_VERSION " (scene format 1.2)");
#ifdef KESTREL_NO_IMPORT
    // The Windows build (cmake/windows.cmake) is made without assimp.
    app.footer("This Windows build leaves out import and export (model files, which need assimp); "
               "the Linux build has them.");
#endif
    int status = 0;
    for (const kcmd_entry& entry : kcmd_entries())
        entry.add(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    } catch (const fatal_error& e) {
        std::fprintf(stderr, "kestrel: %s\n", e.what());
        return 1;
    }
    return status;
}
