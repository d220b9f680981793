// tools/kestrel/cmd_ife.cpp - `kestrel ife FILE.ife`: an interface file as JSON.
//
// Parses the file exactly as the demo's loader does, but acquires no
// textures, so it needs no GL context and no texture files. Floats are
// printed by their shortest decimal form that reads back as the same 32-bit
// value (std::to_chars), not as the longer double they widen to.
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "ife/ife.h"
#include "registry.h"

namespace {

nlohmann::ordered_json kcmd_ife_float(float value)
{
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value);
    *result.ptr = 0;
    return std::strtod(text, nullptr);
}

nlohmann::ordered_json kcmd_ife_key(const ife_keys& k)
{
    return {{"frame", k.frame},
            {"x", kcmd_ife_float(k.x)},
            {"y", kcmd_ife_float(k.y)},
            {"mode", k.mode},
            {"angle", kcmd_ife_float(k.angle)},
            {"width", kcmd_ife_float(k.width)},
            {"height", kcmd_ife_float(k.height)},
            {"red", kcmd_ife_float(k.red)},
            {"green", kcmd_ife_float(k.green)},
            {"blue", kcmd_ife_float(k.blue)},
            {"alpha", kcmd_ife_float(k.alpha)}};
}

// Texts as Latin-1: bytes 128..255 become the characters of the same code.
std::string kcmd_ife_text(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

nlohmann::ordered_json kcmd_ife_layer(const ife_layer& layer)
{
    nlohmann::ordered_json keys = nlohmann::ordered_json::array();
    for (int32_t k = 0; k < layer.keycount; ++k)
        keys.push_back(kcmd_ife_key(layer.keys[k]));
    return {{"texturename", kcmd_ife_text(layer.texturename)},
            {"info1", kcmd_ife_text(layer.info1)},
            {"info2", kcmd_ife_text(layer.info2)},
            {"keycount", layer.keycount},
            {"blend", layer.blend},
            {"keys", keys}};
}

void kcmd_ife_run(const std::string& file)
{
    ife_interface record{};
    ife_parse(record, file);
    nlohmann::ordered_json layers = nlohmann::ordered_json::array();
    for (int32_t i = 0; i < record.layercount; ++i)
        layers.push_back(kcmd_ife_layer(record.layers[i]));
    std::cout << nlohmann::ordered_json{{"layercount", record.layercount}, {"info", record.info}, {"layers", layers}}
                     .dump(2)
              << "\n";
    IFE_FREE(record);
}

kcmd_register kcmd_ife_entry("ife", [](CLI::App& app, int&) {
    auto* cmd = app.add_subcommand("ife", "Parse an interface file (without its textures) and print it as JSON");
    auto file = std::make_shared<std::string>();
    cmd->add_option("FILE.ife", *file, "the interface file")->required();
    cmd->callback([file] { kcmd_ife_run(*file); });
});

}  // namespace
