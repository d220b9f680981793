// engine/render/geometry.h - object geometry in GL buffer objects.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/scene/records.h"

// Where one object's arrays live in its two buffer objects (byte offsets).
struct kst_gpu_object {
    unsigned array = 0;   // vertices, normals, colours, texture coordinates
    unsigned index = 0;   // faces (GL_UNSIGNED_INT), then the strip (GL_UNSIGNED_SHORT)
    size_t   normal_at = 0, colour_at = 0, texcoord_at = 0, strip_at = 0;
    // The arrays and counts that were uploaded, to notice replaced arrays.
    const void* vertex = nullptr;
    const void* normal = nullptr;
    const void* colour = nullptr;
    const void* texcoord = nullptr;
    const void* face = nullptr;
    const void* strip = nullptr;
    int32_t     vertices = 0, faces = 0, striplength = 0;
    bool        usable = false;   // false: draw from the client arrays
};

// The object's buffers, uploading them first when they are missing or stale;
// nullptr when buffer objects are unavailable (GL older than 1.5,
// KESTREL_NO_BUFFERS set) or the object cannot use them (no vertices, an index
// outside its vertices), and the draw keeps the client-side arrays.
const kst_gpu_object* kst_geometry_for(const KST_SCENE& scene, int32_t index);

// Array pointer for a buffer offset, or the client pointer without buffers.
const void* kst_geometry_at(const kst_gpu_object* g, size_t offset, const void* client);

// Binds the object's buffers (or none) for the pointer calls and the draw.
void kst_geometry_bind(const kst_gpu_object* g);
// Unbinds both buffer targets, so client-array users elsewhere are unaffected.
void kst_geometry_unbind(const kst_gpu_object* g);
