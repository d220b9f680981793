// tools/mkdata/mkdata.h - the default production generator's shared pieces.
//
// qiv-mkdata writes the whole data folder the demo loads: fifteen layer files,
// six scenes, every texture they name, the music and the score (show.toml). Everything is made here
// from code: the textures are painted with value noise and shapes, the text is
// set with a TrueType font from the system's DejaVu package, the meshes are
// built from parametric surfaces and the music is synthesised and encoded with
// libvorbisenc. Each part derives its randomness from the seed and its own
// salt, so the same seed gives the same bytes whatever runs first.
//
// The show's timing lives in one place (mk_crash_times): the drumcrash layer
// flashes exactly where the music strikes its crash cymbal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// --- run context ----------------------------------------------------------------
struct mk_context {
    std::string out_dir;     // folder that receives every file
    uint64_t    seed = 1;    // --seed
    bool        quiet = false;
};

// Progress line on stderr ("qiv-mkdata: <what>").
void mk_progress(const mk_context& ctx, const std::string& what);
// Full path of a file in the output folder.
std::string mk_path(const mk_context& ctx, const std::string& name);
// A stable per-part seed derived from the run seed and a salt text.
uint64_t mk_seed(const mk_context& ctx, const std::string& salt);

// --- the show's timing ----------------------------------------------------------
// Music section starts in seconds: 0, 15, 40, 64, 96, 114, 130.
extern const double MK_SECTION_START[7];
constexpr double MK_MUSIC_SECONDS = 133.0;   // a little past the show's 131.5 s
constexpr double MK_DRUMCRASH_MS  = 131.5;   // ms per drumcrash layer frame
// Times of the crash hits in seconds, ascending.
std::vector<double> mk_crash_times();

// --- the parts --------------------------------------------------------------------
void mk_make_layers(const mk_context& ctx);   // the .ife files and their textures
void mk_make_scenes(const mk_context& ctx);   // the .kst files and their textures
void mk_make_music(const mk_context& ctx);    // music.ogg
void mk_make_show(const mk_context& ctx);     // show.toml, the default show's score
extern const char* const MK_SHOW_TOML;        // its text
