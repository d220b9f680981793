// tools/mkdata/main.cpp - qiv-mkdata OUT_DIR [--seed N]: makes the default production.
//
// Writes the fifteen layer files, the six scenes, every texture they name,
// music.ogg and show.toml into OUT_DIR (made, with the folders above it, when missing). The music is synthesised and
// encoded on a second thread while the textures, layers and scenes are built
// on the main one; the two share no state (each part seeds its own noise from
// mk_seed), so the output is byte-for-byte the same for the same seed however
// the threads are scheduled. Progress goes to stderr; a fatal error ends the
// program with status 1 and a message naming the file.
#include <CLI/CLI.hpp>

#include <chrono>
#include <exception>
#include <filesystem>
#include <iostream>
#include <thread>

#include "kestrel_version.h"
#include "support/error.h"
#include "support/folders.h"
#include "tools/mkdata/mkdata.h"

// --- the show's timing -------------------------------------------------------------
const double MK_SECTION_START[7] = {0.0, 15.0, 40.0, 64.0, 96.0, 114.0, 130.0};

std::vector<double> mk_crash_times()
{
    // Every section start gets a crash, and each section one or two more on
    // bar lines (2 s) away from the middle of its segment, where the show's
    // screenshots are taken.
    return {15.0, 31.0, 40.0, 56.0, 64.0, 72.0, 88.0, 96.0, 108.0, 114.0, 126.0, 130.0};
}

// --- context helpers ---------------------------------------------------------------
void mk_progress(const mk_context& ctx, const std::string& what)
{
    if (!ctx.quiet)
        std::cerr << "qiv-mkdata: " << what << std::endl;
}

std::string mk_path(const mk_context& ctx, const std::string& name)
{
    return (std::filesystem::path(ctx.out_dir) / name).string();
}

uint64_t mk_seed(const mk_context& ctx, const std::string& salt)
{
    uint64_t h = 0xCBF29CE484222325ull ^ (ctx.seed * 0x9E3779B97F4A7C15ull);
    for (unsigned char c : salt) {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    return h;
}

// --- program -------------------------------------------------------------------------
static int mkdata_run(int argc, char** argv)
{
    CLI::App app{"qiv-mkdata: makes the default production (scenes, layers, textures, music)"};
    mk_context ctx;
    app.set_version_flag("--version", "qiv-mkdata " KESTREL_VERSION);
    app.add_option("OUT_DIR", ctx.out_dir, "folder that receives the data (made when missing)")->required();
    app.add_option("--seed", ctx.seed, "seed of the generator (same seed, same bytes)");
    app.add_flag("-q,--quiet", ctx.quiet, "no progress on stderr");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    folders_made made;
    folders_make(made, ctx.out_dir);

    auto start = std::chrono::steady_clock::now();
    std::exception_ptr music_error;
    std::thread music([&] {
        try {
            mk_make_music(ctx);
        } catch (...) {
            music_error = std::current_exception();
        }
    });
    std::exception_ptr main_error;
    try {
        mk_make_layers(ctx);
        mk_make_scenes(ctx);
        mk_make_show(ctx);
    } catch (...) {
        main_error = std::current_exception();
    }
    music.join();
    if (main_error)
        std::rethrow_exception(main_error);
    if (music_error)
        std::rethrow_exception(music_error);
    folders_keep(made);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    mk_progress(ctx, "done in " + std::to_string(secs).substr(0, 4) + " s: " + ctx.out_dir);
    return 0;
}

int main(int argc, char** argv)
{
    try {
        return mkdata_run(argc, argv);
    } catch (const fatal_error& e) {
        std::cerr << "qiv-mkdata: " << e.what() << std::endl;
        return 1;
    }
}
