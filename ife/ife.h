// ife/ife.h - interface layers: 2D animations of textured rectangles.
//
// An interface (.ife text file) is a list of layers; each layer is one
// textured rectangle whose position, rotation, size and colour follow its own
// key frames, drawn in a fixed 1024 x 768 space with its own blend mode. The
// loader reads the file value line by value line (IFE_READLINE skips "#"
// comment lines and trims blanks), the drawing interpolates between the two
// keys around the requested frame with the earlier key's easing.
//
// Records are plain data: layers and keys come from the labelled allocator
// ("Interface layers", "Animation keys for interface") and texts are fixed
// 256-byte zero-terminated buffers, so a record can be cleared and freed
// without constructors. The record owns its arrays; IFE_FREE releases them
// and the texture references.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int32_t IFE_MAX_LAYERS = 1001;
constexpr int32_t IFE_MAX_KEYS   = 10001;
constexpr int32_t IFE_TEXT_MAX   = 255;   // characters of a text; only these count

struct ife_keys {
    int32_t frame;    // the frame at which the key holds
    float   x, y;     // centre, in the 1024 x 768 space, y up
    uint8_t mode;     // easing to the next key: 0 linear, 1 sine ease-out, 2 ease-in
    float   angle;    // degrees, counter-clockwise
    float   width, height;
    float   red, green, blue, alpha;  // 0..255
};

struct ife_layer {
    char      texturename[IFE_TEXT_MAX + 1];  // relative to the data folder
    char      info1[IFE_TEXT_MAX + 1];        // free text, read by nothing
    char      info2[IFE_TEXT_MAX + 1];        // free text, read by nothing
    uint32_t  texture;                        // GL name from the texture manager
    int32_t   keycount;
    uint8_t   blend;                          // 0 none, 1 add, 2 alpha, 3 inverted alpha, 4 colour
    ife_keys* keys;                           // [keycount], ascending frames
};

struct ife_interface {
    int32_t    layercount;
    int32_t    info;     // second header value, read by nothing
    ife_layer* layers;   // [layercount]
};

// An open interface file being read value line by value line.
struct ife_reader {
    FILE*       file = nullptr;
    std::string filename;   // for messages
    int32_t     line = 0;   // number of the last physical line read
};

// Loads the file; texture names are relative to dir. Needs a current GL context.
void  IFE_LOAD(ife_interface& record, const std::string& filename, const std::string& dir);
// Releases textures and arrays; layercount becomes 0.
void  IFE_FREE(ife_interface& record);
void  IFE_DRAW(const ife_interface& record, float frame);
float IFE_INTERPOLATE(uint8_t mode, float from, float to, float t);

// Next value line (comments skipped, trimmed, first 255 characters); false at
// the end of the file. A read error is fatal.
bool        IFE_READLINE(ife_reader& reader, std::string& line);
// Field n (from 1) of a key line: single spaces separate, result trimmed.
std::string IFE_FIELD(const std::string& line, int32_t n);
// Field n read as a number; 0 when empty, missing or not a number.
float       IFE_VALUE(const std::string& line, int32_t n);

// Parses the file without acquiring textures (every texture is 0): for tools
// that inspect interfaces without a GL context.
void ife_parse(ife_interface& record, const std::string& filename);
// The texture manager names IFE_LOAD asks for with `dir`, each once: what a
// watcher of the layers' image files looks at.
std::vector<std::string> ife_texture_names(const ife_interface& record, const std::string& dir);
// The bracketing keys of a layer at frame (keycount must be at least 1).
void ife_bracket(const ife_layer& layer, float frame, int32_t& a, int32_t& b);
