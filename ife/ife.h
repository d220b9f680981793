// ife/ife.h - interface layers: 2D animations of textured rectangles.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct ife_keys {
    int32_t frame;
    float   x, y;
    uint8_t mode;
    float   angle, width, height;
    float   red, green, blue, alpha;
};

struct ife_layer {
    std::string texturename;
    std::string info1;
    std::string info2;
    uint32_t    texture;
    int32_t     keycount;
    uint8_t     blend;
    ife_keys*   keys;
};

struct ife_interface {
    int32_t    layercount;
    int32_t    info;
    ife_layer* layers;
};

constexpr int32_t IFE_MAX_LAYERS = 1001;
constexpr int32_t IFE_MAX_KEYS   = 10001;

void  IFE_LOAD(ife_interface& record, const std::string& filename, const std::string& dir);
void  IFE_FREE(ife_interface& record);
void  IFE_DRAW(const ife_interface& record, float frame);
float IFE_INTERPOLATE(uint8_t mode, float from, float to, float t);
