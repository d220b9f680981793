// engine/scene/writer.cpp - writing .kst scene files (see writer.h).
//
// The writer stores every stored field of the scene as its own chunk in one
// fixed order: the chunk count (id 87), the version this engine writes (1.2,
// not the record's own version), the scene fields, then per material, per
// object (single fields, then the arrays), the camera keys and all eight
// lights. Objects with a skin or morph targets add their chunks (105 to 114)
// after their other arrays, storing the rest shape, never a pose. Names (written as the full 256-byte field, whatever follows the
// text), the initial matrix and every array are zlib-packed; the rest is stored
// as is. Field offsets, widths and element types come from the loader's chunk
// table, so reader and writer cannot drift apart.
//
// MOTION (id 100) is written after the other scene fields, and only when it
// is not 0: a scene that does not ask for rotation and scale playback is
// stored exactly as before, byte for byte, and a reader that predates the
// chunk passes over it and plays the position tracks alone.
//
// Choices: when packing fails the error is reported ("Packing error! ...") and
// the chunk is stored raw, which keeps the file readable. An array reference
// that is absent while its count is positive is written as cleared elements
// (NEIGHBOUR as -1, "no neighbour"), never read. The file is built in memory
// and replaced atomically, so a failed write leaves the previous file intact.
#include "engine/scene/writer.h"

#include <cstring>
#include <vector>

#include "engine/scene/loader.h"
#include "support/atomic_file.h"
#include "support/error.h"
#include "support/mem.h"
#include "support/zpack.h"

// --- module state ----------------------------------------------------------------------------
static const uint8_t KST_SCENE_ORDER[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 84, 90};
static const uint8_t KST_MATERIAL_ORDER[] = {12, 13, 14, 15, 16, 17, 18, 19, 20, 92, 93, 94, 21,
                                             22, 23, 24, 25, 26, 82, 27, 28, 29, 30, 31, 32};
static const uint8_t KST_OBJECT_ORDER[] = {33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44,
                                           45, 46, 88, 89, 83, 47, 48, 49, 91, 95, 96, 97,
                                           98, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69};
static const uint8_t KST_LIGHT_ORDER[] = {72, 73, 74, 75, 76, 77, 78};

// --- internal helpers ----------------------------------------------------------------------------
static void kst_put_int32(std::string& out, int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    const char b[4] = {char(u & 0xff), char(u >> 8 & 0xff), char(u >> 16 & 0xff), char(u >> 24 & 0xff)};
    out.append(b, 4);
}

// Writes one chunk; data holds count elements of the type's size.
static void KST_WRITECHUNK(std::string& out, uint8_t type, uint8_t id, bool raw, int32_t count,
                           int32_t index, const void* data)
{
    int64_t wide = static_cast<int64_t>(KST_DATALENGTH[type]) * count;
    if (wide > INT32_MAX)
        fatal_raise("chunk " + std::to_string(id) + " of record " + std::to_string(index) +
                    " is too large to store (" + std::to_string(count) + " elements)");
    int32_t size = static_cast<int32_t>(wide);
    out += 'F';
    out += '!';
    out += static_cast<char>(type);
    out += static_cast<char>(id);
    kst_put_int32(out, count);
    kst_put_int32(out, size);
    ZPACK pack{nullptr, 0, 0};
    if (!raw) {
        int32_t rc = ZCOMPRESS(data, size, pack);
        if (rc != 0) {
            ERROR_REPORT("Packing error! " + std::to_string(rc) + " " + std::to_string(size) + " " +
                         std::to_string(id) + " " + std::to_string(index));
            mem_release(pack.BUFFER);
            raw = true;
        }
    }
    kst_put_int32(out, raw ? 0 : pack.CSIZE);
    kst_put_int32(out, index);
    if (raw)
        out.append(static_cast<const char*>(data), static_cast<size_t>(size));
    else
        out.append(reinterpret_cast<const char*>(pack.BUFFER), static_cast<size_t>(pack.CSIZE));
    if (!raw)
        mem_release(pack.BUFFER);
}

static void kst_write_field(std::string& out, const void* record, uint8_t id, int32_t index)
{
    const kst_chunk_def& d = kst_chunk_lookup(id);
    const uint8_t* base = static_cast<const uint8_t*>(record);
    KST_WRITECHUNK(out, d.type, id, !d.packed, 1, index, base + d.offset);
}

// An array chunk of `count` elements (negative counts write none).
static void kst_write_array(std::string& out, const void* record, uint8_t id, int32_t count,
                            int32_t index)
{
    const kst_chunk_def& d = kst_chunk_lookup(id);
    const void* data = *reinterpret_cast<const void* const*>(static_cast<const uint8_t*>(record) + d.offset);
    if (count < 0)
        count = 0;
    std::vector<uint8_t> filler;
    if (!data) {
        filler.assign(static_cast<size_t>(count) * d.width, id == 86 ? 0xff : 0);
        data = filler.data();
    }
    KST_WRITECHUNK(out, d.type, id, false, count, index, data);
}

// Objects with a skin or morph targets carry their counts and arrays in
// chunks 105 to 114; rigid objects write none of them, as before.
static bool kst_object_deforms(const KST_OBJECT& o)
{
    return o.JOINTS != 0 || o.MORPHS != 0;
}

static int32_t kst_skin_chunks(const KST_OBJECT& o)
{
    if (!kst_object_deforms(o))
        return 0;
    return 3 + (o.JOINTS != 0 ? 4 : 0) + (o.MORPHS != 0 ? 2 + (o.MORPHNORMAL ? 1 : 0) : 0);
}

// A product of two counts as an element count (0 for negative counts).
static int32_t kst_skin_count(int32_t a, int32_t b)
{
    int64_t n = a < 0 || b < 0 ? 0 : static_cast<int64_t>(a) * b;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

static void kst_write_skin(std::string& out, const KST_OBJECT& o, int32_t i)
{
    if (!kst_object_deforms(o))
        return;
    for (uint8_t id : {105, 106, 107})
        kst_write_field(out, &o, id, i);
    if (o.JOINTS != 0) {
        kst_write_array(out, &o, 108, o.VERTICES, i);
        kst_write_array(out, &o, 109, o.VERTICES, i);
        kst_write_array(out, &o, 110, o.JOINTS, i);
        kst_write_array(out, &o, 111, kst_skin_count(o.JOINTS, o.SKINFRAMES), i);
    }
    if (o.MORPHS != 0) {
        kst_write_array(out, &o, 112, kst_skin_count(o.MORPHS, o.VERTICES), i);
        if (o.MORPHNORMAL)
            kst_write_array(out, &o, 113, kst_skin_count(o.MORPHS, o.VERTICES), i);
        kst_write_array(out, &o, 114, kst_skin_count(o.MORPHS, o.SKINFRAMES), i);
    }
}

static int32_t kst_object_chunks(const KST_OBJECT& o)
{
    return kst_skin_chunks(o) + 41 + (o.COLOR ? 1 : 0) + (o.TEXTURE ? 1 : 0) + (o.NORMALS ? 1 : 0) + (o.POSKEYS > 0) +
           (o.ROTKEYS > 0) + (o.SCALEKEYS > 0);
}

static void kst_write_scene_fields(std::string& out, const KST_SCENE& scene)
{
    int32_t chunks = kst_scene_chunk_count(scene);
    KST_WRITECHUNK(out, 3, 87, true, 1, 0, &chunks);
    for (uint8_t id : KST_SCENE_ORDER) {
        if (id == 1)
            KST_WRITECHUNK(out, 1, 1, true, 1, 0, &KST_FORMATMAJOR);
        else if (id == 2)
            KST_WRITECHUNK(out, 1, 2, true, 1, 0, &KST_FORMATMINOR);
        else
            kst_write_field(out, &scene, id, 0);
    }
    if (scene.MOTION != 0)
        kst_write_field(out, &scene, 100, 0);
}

// A posed object (skinned or morphed for drawing) stores its rest shape.
static void kst_write_object(std::string& out, const KST_OBJECT& posed, int32_t i)
{
    KST_OBJECT o = posed;
    if (posed.kst_rest_vertex)
        o.VERTEX = posed.kst_rest_vertex;
    if (posed.kst_rest_normal)
        o.VERTEXNORMAL = posed.kst_rest_normal;
    for (uint8_t id : KST_OBJECT_ORDER)
        kst_write_field(out, &o, id, i);
    kst_write_array(out, &o, 50, o.STRIPLENGTH, i);
    kst_write_array(out, &o, 51, o.VERTICES, i);
    kst_write_array(out, &o, 52, o.FACES, i);
    kst_write_array(out, &o, 99, o.FACES, i);
    kst_write_array(out, &o, 86, o.FACES, i);
    if (o.COLOR)
        kst_write_array(out, &o, 53, o.VERTICES, i);
    if (o.TEXTURE)
        kst_write_array(out, &o, 54, o.VERTICES, i);
    if (o.NORMALS)
        kst_write_array(out, &o, 55, o.VERTICES, i);
    if (o.POSKEYS > 0)
        kst_write_array(out, &o, 56, o.POSKEYS, i);
    if (o.ROTKEYS > 0)
        kst_write_array(out, &o, 57, o.ROTKEYS, i);
    if (o.SCALEKEYS > 0)
        kst_write_array(out, &o, 58, o.SCALEKEYS, i);
    kst_write_skin(out, o, i);
}

// --- public functions -------------------------------------------------------------------------------
int32_t kst_scene_chunk_count(const KST_SCENE& scene)
{
    int32_t n = 14 + (scene.MOTION != 0) + 25 * (scene.MATERIAL ? scene.MATERIALS : 0);
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        n += kst_object_chunks(scene.OBJ[i]);
    n += (scene.CAMPOSKEYS > 0) + (scene.CAMTARGETKEYS > 0);
    for (const KST_LIGHT& l : scene.LIGHT)
        n += 7 + (l.POSKEYS > 0);
    return n;
}

std::string kst_scene_save_bytes(const KST_SCENE& scene)
{
    std::string out;
    kst_write_scene_fields(out, scene);
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i)
        for (uint8_t id : KST_MATERIAL_ORDER)
            kst_write_field(out, &scene.MATERIAL[i], id, i);
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        kst_write_object(out, scene.OBJ[i], i);
    if (scene.CAMPOSKEYS > 0)
        kst_write_array(out, &scene, 70, scene.CAMPOSKEYS, 0);
    if (scene.CAMTARGETKEYS > 0)
        kst_write_array(out, &scene, 71, scene.CAMTARGETKEYS, 0);
    for (int32_t l = 0; l < KST_LIGHTS; ++l) {
        for (uint8_t id : KST_LIGHT_ORDER)
            kst_write_field(out, &scene.LIGHT[l], id, l);
        if (scene.LIGHT[l].POSKEYS > 0)
            kst_write_array(out, &scene.LIGHT[l], 79, scene.LIGHT[l].POSKEYS, l);
    }
    return out;
}

void KST_SCENE_SAVE(const KST_SCENE& scene, const std::string& filename)
{
    std::string bytes = kst_scene_save_bytes(scene);
    atomic_file file(filename);
    file.write(bytes);
    file.commit();
}
