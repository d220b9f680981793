// tests/render/render_scene.h - in-memory scenes for the renderer tests.
//
// render_scene builds a KST_SCENE the way the loader and preparation would
// leave it, without a file: a camera at (0, -10, 0) looking at the origin with
// a 90 degree field of view (so on the 640 x 480 frame a point (X, 0, Z) lands
// at pixel (320 + 24 X, 240 + 24 Z)), flat quads in planes of constant Y facing
// the camera, materials that default to unlit, untextured, opaque. Every array
// comes from the engine's allocator and is released by the destructor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/scene/records.h"
#include "support/mem.h"

// Pixel column / row of a point (X, 0, Z) seen by the default camera.
inline int rs_px(float x) { return static_cast<int>(320.0f + 24.0f * x); }
inline int rs_py(float z) { return static_cast<int>(240.0f + 24.0f * z); }

class render_scene {
public:
    static constexpr int capacity = 32;   // materials and objects

    render_scene();
    ~render_scene();
    render_scene(const render_scene&) = delete;
    render_scene& operator=(const render_scene&) = delete;

    KST_SCENE s{};

    // An unlit, untextured, opaque material of colour (r, g, b) and alpha a.
    int           add_material(float r, float g, float b, float a = 1.0f);
    KST_MATERIAL& mat(int i) { return s.MATERIAL[i]; }
    KST_OBJECT&   obj(int i) { return s.OBJ[i]; }

    // A quad from (x0, y, z0) to (x1, y, z1) facing -Y, texture coordinates
    // (0, 0) .. (tmax, tmax), two faces (0 1 2, 0 2 3) and the strip 0 1 3 2.
    int add_quad(float x0, float z0, float x1, float z1, float y, int material, float tmax = 1.0f);
    // An object with no geometry (an emitter), at pos.
    int add_empty(const KST_VECTOR& pos, const std::string& name = "emitter");

    // Camera keys (two keys, frames 0 and 100, at the same place).
    void camera(const KST_VECTOR& eye, const KST_VECTOR& target);
    // Position track of an object or a light.
    void object_track(int i, const std::vector<KST_KEYVECTOR>& keys);
    void light_track(int l, const std::vector<KST_KEYVECTOR>& keys);
    // Light l enabled at pos with diffuse colour (r, g, b), no ambient or specular.
    void light(int l, const KST_VECTOR& pos, float r, float g, float b);

    // A cleared array of n elements, released with the scene.
    template <class T>
    T* alloc(int64_t n)
    {
        T* block = mem_array<T>(n, "render test");
        blocks_.push_back(block);
        return block;
    }

private:
    std::vector<void*> blocks_;
};

// Pixel comparisons with a small tolerance for rasterisation rounding.
::testing::AssertionResult pixel_near(int x, int y, int r, int g, int b, int tolerance = 3);
bool pixel_black(int x, int y);
