// tests/common/demo_data.cpp - the small data set (see demo_data.h).
//
// Layer files are written as text, scenes with the engine's own writer from
// the scene builders, textures with the texture-file helpers and the music
// with the audio-file helpers, so the set exercises the real loaders.
#include "demo_data.h"

#include <filesystem>

#include "audio_files.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"

namespace {

const char* const DEMO_LAYER_STEMS[] = {
    "loading", "meeting", "crestpre", "part2", "blackfade", "starmap", "portrait", "drumcrash",
    "hatter", "crestfade", "beauty", "planet", "kekbkg", "keret", "greets"};
constexpr int DEMO_LAYER_SETS = 15;

int demo_layer_index(const std::string& stem)
{
    for (int i = 0; i < DEMO_LAYER_SETS; ++i)
        if (stem == DEMO_LAYER_STEMS[i])
            return i;
    return -1;
}

// Cell centre in the 1024 x 768 interface space.
void demo_layer_centre(int i, int& x, int& y)
{
    x = 64 + 128 * (i % 8);
    y = 48 + 96 * (i / 8);
}

std::string demo_layer_text(const std::string& stem, int i)
{
    int x = 0, y = 0;
    demo_layer_centre(i, x, y);
    std::string key = " " + std::to_string(x) + " " + std::to_string(y) + " 0 0 128 96 255 255 255 255\n";
    return "# " + stem + ": one opaque rectangle in cell " + std::to_string(i) + "\n"
           "1\n0\n" + stem + ".jpg\n" + stem + " layer\nmade by the tests\n2\n0\n"
           "0" + key + "# the same at the end\n1000" + key;
}

bool demo_skip(const demo_data_options& o, const std::string& name)
{
    return o.omit == name;
}

void demo_write_scene(const std::string& folder, const std::string& stem, int cubes, bool textured)
{
    KST_SCENE scene{};
    sb_scene_init(scene, stem);
    scene.FRAMES = 2000;
    int32_t m = sb_add_material(scene, stem + " skin");
    scene.MATERIAL[m].DIFFUSE = {0.9f, 0.6f, 0.3f};
    if (textured) {
        scene.MATERIAL[m].TEXTURED = 1;
        kst_name_set(scene.MATERIAL[m].TEXTNAME, stem + "_skin.jpg");
    }
    for (int c = 0; c < cubes; ++c) {
        float x = cubes == 1 ? 0.0f : -5.0f + 2.0f * static_cast<float>(c);
        int32_t o = sb_add_cube(scene, "cube" + std::to_string(c), {x, 0, 0}, cubes == 1 ? 4.0f : 1.5f, m);
        if (textured) {
            sb_object_texcoords(scene, o, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 1}});
            KST_PARTICLEDATA& p = scene.OBJ[o].PARTICLE;
            p.ENABLED = 1;
            p.DELTAVECTOR = {0, 0, 0.05f};
            p.DELTAVECTORSPREAD = {0.02f, 0.02f, 0.02f};
            p.COLOR = {1, 1, 0.5f};
            p.POWER = 1;
            p.DELTAPOWER = 0.05f;
            p.NEWPARTICLE = 3;
            p.SIZE = 0.2f;
            kst_name_set(p.TEXTURENAME, "spark.jpg");
        }
    }
    sb_set_light(scene, 0, "sun", {0, -10, 10});
    KST_SCENE_SAVE(scene, folder + "/" + stem + ".kst");
    KST_SCENE_FREE(scene);
}

}  // namespace

tex_rgba demo_data_layer_colour(const std::string& stem)
{
    int i = demo_layer_index(stem);
    // Distinct, fully saturated-ish colours; none is black or white.
    return tex_rgba{static_cast<uint8_t>(40 + 13 * i), static_cast<uint8_t>(200 - 11 * i),
                    static_cast<uint8_t>(i % 2 ? 230 : 90), 255};
}

void demo_data_layer_pixel(const std::string& stem, int& x, int& y)
{
    demo_layer_centre(demo_layer_index(stem), x, y);
    x = x * 640 / 1024;
    y = y * 480 / 768;
}

void demo_data_write(const std::string& folder, const demo_data_options& options)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < DEMO_LAYER_SETS; ++i) {
        std::string stem = DEMO_LAYER_STEMS[i];
        if (!demo_skip(options, stem + ".ife"))
            write_file(folder + "/" + stem + ".ife", demo_layer_text(stem, i));
        texture_file_write(folder + "/" + stem + ".jpg", tex_solid(demo_data_layer_colour(stem), false));
    }
    struct { const char* stem; int cubes; bool textured; } scenes[] = {
        {"crest", 1, false}, {"part2", 1, true}, {"hipoly", 1, true},
        {"earth", 1, true},  {"lepke", 1, true}, {"qorv", 6, false}};
    for (auto& s : scenes) {
        if (!demo_skip(options, std::string(s.stem) + ".kst"))
            demo_write_scene(folder, s.stem, s.cubes, s.textured);
        if (s.textured)
            texture_file_write(folder + "/" + s.stem + "_skin.jpg",
                               tex_checker({255, 255, 255, 255}, {60, 60, 200, 255}, 32, false));
    }
    texture_file_write(folder + "/spark.jpg", tex_solid({255, 255, 255, 255}, false));
    if (options.music && !demo_skip(options, "music.ogg"))
        audio_write_ogg(folder + "/music.ogg", audio_tone(1.0, 440, 0.2));
}
