// engine/scene/loader.cpp - reading .kst scene files (see loader.h).
//
// A .kst file is a flat run of self-describing chunks: the tag "F!", an element
// type, a chunk id, then count, size, packed size and index (int32, little
// endian) and the data, zlib-packed when packed size is not 0. Each chunk
// carries one field or one whole array of the scene, a material, an object or
// a light. The loader reads the whole file into memory and walks it with the
// same 4-byte tag scan the format has always used: bytes that do not start
// with the tag are passed over four at a time, so a tag at an offset the scan
// steps over is not found.
//
// Single fields receive the first min(size, field width) bytes of the data, so
// a short chunk leaves the rest of the field as it was. Array chunks allocate a
// new array holding exactly the data (a later chunk replaces an earlier one).
// Chunks 5 and 6 set the material and object counts and allocate those arrays.
// Chunks 105 to 114 carry an object's skin and morph targets; a reader that
// does not know them passes over their data like any unknown id.
//
// Safety: the file is never trusted. A chunk is reported and skipped when its
// element type is above 15, its declared size is negative or beyond 500001
// elements, its packed data does not inflate to exactly its size, or its index
// selects no allocated material, object or light. The actual length of every
// array is kept while loading; afterwards the scene is checked against the
// invariants the renderer relies on (arrays at least as long as their counts,
// face and strip indices inside VERTEX, material indices inside MATERIAL,
// neighbours -1 or a face) and rejected with a fatal error naming the file, the
// object and the problem. Every fatal error releases what was loaded.
#include "engine/scene/loader.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include "engine/scene/prepare.h"
#include "support/error.h"
#include "support/mem.h"

#include <zlib.h>

// --- module state -------------------------------------------------------------------------
int32_t KST_DATALENGTH[16] = {1, 1, 2, 4, 4, 8, 12, 16, 256, 12, 16, 20, 64, 1, 0, 0};
uint8_t KST_FORMATMAJOR = 1;
uint8_t KST_FORMATMINOR = 2;

constexpr int KST_OBJ_ARRAYS = 18;   // array chunks of an object (see kst_array_slot)
constexpr int KST_TAG_SIZE = 4;
constexpr int KST_HEADER_REST = 16;  // count, size, packed size, index

// Side information of one load: what was really allocated, and how long.
struct kst_load_state {
    std::string file;
    int64_t     chunk_offset = 0;            // tag offset of the chunk being applied
    int32_t     materials_alloc = -1;        // records in MATERIAL (-1: none)
    int32_t     objects_alloc = -1;          // records in OBJ (-1: none)
    std::vector<std::array<int64_t, KST_OBJ_ARRAYS>> object_len;  // elements per array
    int64_t     camera_len[2] = {0, 0};      // CAMPOSITION, CAMTARGET
    int64_t     light_len[KST_LIGHTS] = {};  // LIGHT[l].POSITION
};

// --- the chunk table ------------------------------------------------------------------------
#define KST_DEF(scope, rec, f, t, z) \
    {scope, #f, t, z, false, static_cast<uint16_t>(offsetof(rec, f)), sizeof(rec::f)}
#define KST_SCN(f, t, z) KST_DEF(KST_SCOPE_SCENE, KST_SCENE, f, t, z)
#define KST_MAT(f, t, z) KST_DEF(KST_SCOPE_MATERIAL, KST_MATERIAL, f, t, z)
#define KST_OBJ(f, t, z) KST_DEF(KST_SCOPE_OBJECT, KST_OBJECT, f, t, z)
#define KST_LGT(f, t, z) KST_DEF(KST_SCOPE_LIGHT, KST_LIGHT, f, t, z)
#define KST_PTC(f, t, z)                                                                        \
    {KST_SCOPE_OBJECT, "PARTICLE." #f, t, z, false,                                             \
     static_cast<uint16_t>(offsetof(KST_OBJECT, PARTICLE) + offsetof(KST_PARTICLEDATA, f)),    \
     sizeof(KST_PARTICLEDATA::f)}
#define KST_ARR(scope, rec, f, t, elem) \
    {scope, #f, t, true, true, static_cast<uint16_t>(offsetof(rec, f)), sizeof(elem)}

static std::array<kst_chunk_def, 256> kst_chunk_table_build()
{
    std::array<kst_chunk_def, 256> t{};
    for (auto& d : t)
        d = {KST_SCOPE_NONE, "", 0, false, false, 0, 0};
    t[1] = KST_SCN(MAJORVERSION, 1, false);
    t[2] = KST_SCN(MINORVERSION, 1, false);
    t[3] = KST_SCN(NAME, 8, true);
    t[4] = KST_SCN(FRAMES, 3, false);
    t[5] = KST_SCN(MATERIALS, 3, false);
    t[6] = KST_SCN(OBJECTS, 3, false);
    t[7] = KST_SCN(CAMFOV, 4, false);
    t[8] = KST_SCN(CAMNEAR, 4, false);
    t[9] = KST_SCN(CAMFAR, 4, false);
    t[10] = KST_SCN(CAMPOSKEYS, 3, false);
    t[11] = KST_SCN(CAMTARGETKEYS, 3, false);
    t[12] = KST_MAT(NAME, 8, true);
    t[13] = KST_MAT(TEXTNAME, 8, true);
    t[14] = KST_MAT(ENVTEXTNAME, 8, true);
    t[15] = KST_MAT(TRANSPARENCY, 4, false);
    t[16] = KST_MAT(UTILE, 4, false);
    t[17] = KST_MAT(VTILE, 4, false);
    t[18] = KST_MAT(ALPHATEST, 4, false);
    t[19] = KST_MAT(CONSTANTALPHA, 4, false);
    t[20] = KST_MAT(FLARESIZE, 4, false);
    t[21] = KST_MAT(MAGTYPE, 3, false);
    t[22] = KST_MAT(SHINE, 3, false);
    t[23] = KST_MAT(ENVMAP, 13, false);
    t[24] = KST_MAT(RECEIVELIGHT, 13, false);
    t[25] = KST_MAT(TEXTURED, 13, false);
    t[26] = KST_MAT(DEPTHTEST, 1, false);
    t[27] = KST_MAT(BLEND, 1, false);
    t[28] = KST_MAT(TEXTUREWRAP, 1, false);
    t[29] = KST_MAT(TEXTURETYPE, 1, false);
    t[30] = KST_MAT(AMBIENT, 6, false);
    t[31] = KST_MAT(DIFFUSE, 6, false);
    t[32] = KST_MAT(SPECULAR, 6, false);
    t[33] = KST_OBJ(NAME, 8, true);
    t[34] = KST_OBJ(VERTICES, 3, false);
    t[35] = KST_OBJ(FACES, 3, false);
    t[36] = KST_OBJ(MATERIAL, 3, false);
    t[37] = KST_OBJ(POSKEYS, 3, false);
    t[38] = KST_OBJ(ROTKEYS, 3, false);
    t[39] = KST_OBJ(SCALEKEYS, 3, false);
    t[40] = KST_OBJ(STRIPLENGTH, 3, false);
    t[41] = KST_OBJ(PASSNO, 3, false);
    t[42] = KST_OBJ(TEXTURE, 13, false);
    t[43] = KST_OBJ(COLOR, 13, false);
    t[44] = KST_OBJ(NORMALS, 13, false);
    t[45] = KST_OBJ(VISIBLE, 13, false);
    t[46] = KST_OBJ(BACKFACECULL, 13, false);
    t[47] = KST_OBJ(RENDERMODE, 1, false);
    t[48] = KST_OBJ(INITMATRIX, 12, true);
    t[49] = KST_OBJ(POS, 6, false);
    t[50] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, STRIP, 2, uint16_t);
    t[51] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, VERTEX, 6, KST_VECTOR);
    t[52] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, FACE, 9, KST_FACE);
    t[53] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, CVERTEX, 6, KST_RGB);
    t[54] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, TEXCOORD, 5, KST_TEXTCOORD);
    t[55] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, VERTEXNORMAL, 6, KST_VECTOR);
    t[56] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, POSITION, 10, KST_KEYVECTOR);
    t[57] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, ROTATE, 11, KST_KEYQUAT);
    t[58] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, SCALE, 10, KST_KEYVECTOR);
    t[59] = KST_PTC(TEXTURENAME, 8, true);
    t[60] = KST_PTC(NEWPARTICLE, 3, false);
    t[61] = KST_PTC(POWER, 4, false);
    t[62] = KST_PTC(DELTAPOWER, 4, false);
    t[63] = KST_PTC(SIZE, 4, false);
    t[64] = KST_PTC(ENABLED, 13, false);
    t[65] = KST_PTC(COLORATTRIB, 1, false);
    t[66] = KST_PTC(DELTAVECTOR, 6, false);
    t[67] = KST_PTC(DELTAVECTORSPREAD, 6, false);
    t[68] = KST_PTC(COLOR, 6, false);
    t[69] = KST_PTC(COLORSPREAD, 6, false);
    t[70] = KST_ARR(KST_SCOPE_SCENE, KST_SCENE, CAMPOSITION, 10, KST_KEYVECTOR);
    t[71] = KST_ARR(KST_SCOPE_SCENE, KST_SCENE, CAMTARGET, 10, KST_KEYVECTOR);
    t[72] = KST_LGT(NAME, 8, true);
    t[73] = KST_LGT(POSKEYS, 3, false);
    t[74] = KST_LGT(ENABLED, 13, false);
    t[75] = KST_LGT(POS, 6, false);
    t[76] = KST_LGT(AMBIENT, 6, false);
    t[77] = KST_LGT(DIFFUSE, 6, false);
    t[78] = KST_LGT(SPECULAR, 6, false);
    t[79] = KST_ARR(KST_SCOPE_LIGHT, KST_LIGHT, POSITION, 10, KST_KEYVECTOR);
    t[80] = KST_OBJ(SELECTED, 13, false);
    t[81] = KST_OBJ(PICKED, 13, false);
    t[82] = KST_MAT(DEPTHMODE, 1, false);
    t[83] = KST_OBJ(LOD, 1, false);
    t[84] = KST_SCN(DRAWDISTANCE, 4, false);
    t[86] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, NEIGHBOUR, 9, KST_FACE);
    t[87] = KST_SCN(NUMOFCHUNKS, 3, false);
    t[88] = KST_OBJ(CASTSHADOW, 13, false);
    t[89] = KST_OBJ(RECEIVESHADOW, 13, false);
    t[90] = KST_SCN(SHADOWVALUE, 4, false);
    t[91] = KST_OBJ(UVDELTA, 6, false);
    t[92] = KST_MAT(ENVMAPALPHA, 4, false);
    t[93] = KST_MAT(ENVMAPCOLOR, 6, false);
    t[94] = KST_MAT(ENVMODE, 13, false);
    t[95] = KST_OBJ(USEFOG, 13, false);
    t[96] = KST_OBJ(FOGMODE, 1, false);
    t[97] = KST_OBJ(FOGPARAM, 6, false);
    t[98] = KST_OBJ(FOGCOLOR, 7, false);
    t[99] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, ORIG_FACE, 9, KST_FACE);
    t[100] = KST_SCN(MOTION, 1, false);   // optional: readers before it pass it over
    // skinning and morph targets (optional: readers that predate them skip them)
    t[105] = KST_OBJ(JOINTS, 3, false);
    t[106] = KST_OBJ(MORPHS, 3, false);
    t[107] = KST_OBJ(SKINFRAMES, 3, false);
    t[108] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, SKINJOINT, 7, KST_JOINTSET);
    t[109] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, SKINWEIGHT, 7, KST_WEIGHTSET);
    t[110] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, JOINTBIND, 12, KST_MATRIX);
    t[111] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, JOINTMATRIX, 12, KST_MATRIX);
    t[112] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, MORPHVERTEX, 6, KST_VECTOR);
    t[113] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, MORPHNORMAL, 6, KST_VECTOR);
    t[114] = KST_ARR(KST_SCOPE_OBJECT, KST_OBJECT, MORPHWEIGHT, 4, float);
    return t;
}

static const std::array<kst_chunk_def, 256> KST_CHUNK_TABLE = kst_chunk_table_build();

// --- internal helpers: reading ----------------------------------------------------------------
static int32_t kst_get_int32(const uint8_t* p)
{
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return static_cast<int32_t>(v);
}

static std::string kst_at(int64_t offset)
{
    return " at offset " + std::to_string(offset);
}

// Slot of an object array chunk in kst_load_state::object_len, or -1.
static int kst_array_slot(uint8_t id)
{
    static const uint8_t ids[KST_OBJ_ARRAYS] = {50, 51, 52, 53, 54, 55, 56, 57, 58, 86, 99,
                                                 108, 109, 110, 111, 112, 113, 114};
    for (int i = 0; i < KST_OBJ_ARRAYS; ++i)
        if (ids[i] == id)
            return i;
    return -1;
}

static std::string kst_array_label(const KST_SCENE& scene, uint8_t id, const std::string& owner)
{
    std::string s = kst_name_get(scene.NAME);
    switch (id) {
    case 50: return s + " " + owner + " triangle strip";
    case 51: return s + " " + owner + " vertex vectors";
    case 52: return s + " " + owner + " face list";
    case 99: return s + " " + owner + " orignal face list";
    case 86: return s + " " + owner + " connectivity list";
    case 53: return s + " " + owner + " vertex color list";
    case 54: return s + " " + owner + " UV coordinates";
    case 55: return s + " " + owner + " vertex normals";
    case 56: return s + " " + owner + " position vectors";
    case 57: return s + " " + owner + " rotation quats";
    case 58: return s + " " + owner + " scale vectors";
    case 108: return s + " " + owner + " skin joints";
    case 109: return s + " " + owner + " skin weights";
    case 110: return s + " " + owner + " joint bind matrices";
    case 111: return s + " " + owner + " joint matrices";
    case 112: return s + " " + owner + " morph vertex offsets";
    case 113: return s + " " + owner + " morph normal offsets";
    case 114: return s + " " + owner + " morph weights";
    case 70: return s + " camera positions";
    case 71: return s + " camera target positions";
    default: return s + " " + owner + " light positions";
    }
}

// --- internal helpers: applying chunks ------------------------------------------------------------
static void kst_skip(const kst_load_state& st, const std::string& why)
{
    ERROR_REPORT("Chunk" + kst_at(st.chunk_offset) + " skipped: " + why);
}

// The record a chunk writes into, or nullptr (reported) when its index selects none.
static uint8_t* kst_chunk_owner(KST_SCENE& scene, kst_load_state& st, const kst_chunk_def& def,
                                int32_t index)
{
    switch (def.scope) {
    case KST_SCOPE_SCENE: return reinterpret_cast<uint8_t*>(&scene);
    case KST_SCOPE_MATERIAL:
        if (st.materials_alloc < 0 || !scene.MATERIAL) {
            kst_skip(st, "material chunk before the material count");
            return nullptr;
        }
        if (index < 0 || index >= st.materials_alloc) {
            kst_skip(st, "material index " + std::to_string(index) + " outside 0.." +
                             std::to_string(st.materials_alloc - 1));
            return nullptr;
        }
        return reinterpret_cast<uint8_t*>(&scene.MATERIAL[index]);
    case KST_SCOPE_OBJECT:
        if (st.objects_alloc < 0 || !scene.OBJ) {
            kst_skip(st, "object chunk before the object count");
            return nullptr;
        }
        if (index < 0 || index >= st.objects_alloc) {
            kst_skip(st, "object index " + std::to_string(index) + " outside 0.." +
                             std::to_string(st.objects_alloc - 1));
            return nullptr;
        }
        return reinterpret_cast<uint8_t*>(&scene.OBJ[index]);
    case KST_SCOPE_LIGHT:
        if (index < 0 || index >= KST_LIGHTS) {
            kst_skip(st, "light index " + std::to_string(index) + " outside 0..7");
            return nullptr;
        }
        return reinterpret_cast<uint8_t*>(&scene.LIGHT[index]);
    default: return nullptr;
    }
}

void KST_COPYDWORD(const void* source, void* destination)
{
    std::memcpy(destination, source, 4);
}

void KST_COPYDWORDS(const void* source, void* destination, size_t n)
{
    std::memcpy(destination, source, n * 4);
}

void KST_COPYWORDS(const void* source, void* destination, size_t n)
{
    std::memcpy(destination, source, n * 2);
}

// Chunks 5 and 6: the count, then a new cleared array of that many records.
static void kst_apply_count(KST_SCENE& scene, kst_load_state& st, uint8_t id, const uint8_t* data,
                            size_t size)
{
    int32_t& field = id == 5 ? scene.MATERIALS : scene.OBJECTS;
    int32_t value = field;
    std::memcpy(&value, data, size < 4 ? size : 4);
    int32_t limit = id == 5 ? KST_MAX_MATERIALS : KST_MAX_OBJECTS;
    if (value < 0 || value > limit) {
        kst_skip(st, std::string(id == 5 ? "material" : "object") + " count " +
                         std::to_string(value) + " outside 0.." + std::to_string(limit));
        return;
    }
    field = value;
    std::string scene_name = kst_name_get(scene.NAME);
    if (id == 5) {
        mem_free_array(scene.MATERIAL);
        scene.MATERIAL = mem_array<KST_MATERIAL>(value, scene_name + " materials");
        st.materials_alloc = value;
        return;
    }
    for (int32_t i = 0; scene.OBJ && i < st.objects_alloc; ++i)
        kst_object_free(scene.OBJ[i]);
    mem_free_array(scene.OBJ);
    scene.OBJ = mem_array<KST_OBJECT>(value, scene_name + " objects");
    st.objects_alloc = value;
    st.object_len.assign(static_cast<size_t>(value), {});
}

static int64_t& kst_array_length(kst_load_state& st, uint8_t id, int32_t index)
{
    if (id == 70 || id == 71)
        return st.camera_len[id - 70];
    if (id == 79)
        return st.light_len[index];
    return st.object_len[static_cast<size_t>(index)][kst_array_slot(id)];
}

// Inflates packed data into dest (size bytes); false (reported) unless it gives exactly size bytes.
static bool kst_inflate_into(const kst_load_state& st, uint8_t* dest, const uint8_t* packed,
                             int32_t packed_size, int32_t size)
{
    // deflate cannot expand more than about 1032:1; a larger claim cannot be met
    if (static_cast<int64_t>(size) > static_cast<int64_t>(packed_size) * 1032 + 64) {
        kst_skip(st, "packed data cannot inflate to " + std::to_string(size) + " bytes");
        return false;
    }
    uint8_t spare = 0;  // zlib wants a non-empty output buffer
    uLongf length = static_cast<uLongf>(size);
    int rc = uncompress(size ? dest : &spare, &length, packed,
                        static_cast<uLong>(packed_size));
    if (rc != Z_OK || length != static_cast<uLongf>(size)) {
        kst_skip(st, "packed data does not inflate to its size (zlib code " + std::to_string(rc) +
                         ", " + std::to_string(length) + " of " + std::to_string(size) + " bytes)");
        return false;
    }
    return true;
}

// Array chunks: a new cleared array holding the data (inflated straight into
// it when packed), replacing the old one. Only whole 4-byte values (2-byte for
// STRIP) are taken; a partial element is kept, cleared.
static void kst_apply_array(KST_SCENE& scene, kst_load_state& st, const kst_chunk_header& h,
                            uint8_t* owner, const uint8_t* payload)
{
    const kst_chunk_def& def = KST_CHUNK_TABLE[h.id];
    std::string owner_name;
    if (def.scope == KST_SCOPE_OBJECT)
        owner_name = kst_name_get(scene.OBJ[h.index].NAME);
    else if (def.scope == KST_SCOPE_LIGHT)
        owner_name = kst_name_get(scene.LIGHT[h.index].NAME);
    size_t size = static_cast<size_t>(h.size);
    size_t elements = (size + def.width - 1) / def.width;
    size_t unit = h.id == 50 ? 2 : 4;
    size_t whole = size / unit * unit;
    auto* block = static_cast<uint8_t*>(
        mem_alloc(elements * def.width, kst_array_label(scene, h.id, owner_name), true));
    if (h.packed == 0) {
        if (unit == 2)
            KST_COPYWORDS(payload, block, whole / 2);
        else
            KST_COPYDWORDS(payload, block, whole / 4);
    } else if (kst_inflate_into(st, block, payload, h.packed, h.size)) {
        std::memset(block + whole, 0, size - whole);
    } else {
        mem_release(block);
        return;
    }
    void*& ref = *reinterpret_cast<void**>(owner + def.offset);
    mem_release(ref);
    ref = block;
    kst_array_length(st, h.id, h.index) = static_cast<int64_t>(size / def.width);
}

static void kst_apply_field(KST_SCENE& scene, kst_load_state& st, const kst_chunk_header& h,
                            const uint8_t* data, size_t size)
{
    const kst_chunk_def& def = KST_CHUNK_TABLE[h.id];
    if (h.id == 5 || h.id == 6) {
        kst_apply_count(scene, st, h.id, data, size);
        return;
    }
    uint8_t* owner = kst_chunk_owner(scene, st, def, h.index);
    if (!owner)
        return;
    if (def.width == 4 && size >= 4)
        KST_COPYDWORD(data, owner + def.offset);
    else
        std::memcpy(owner + def.offset, data, size < def.width ? size : def.width);
}

// Reads the rest of one chunk (after its tag) and applies it.
static void KST_READCHUNK(KST_SCENE& scene, kst_load_state& st, const kst_chunk_header& h,
                          const uint8_t* payload)
{
    st.chunk_offset = h.offset;
    if (h.type > 15) {
        kst_skip(st, "element type " + std::to_string(h.type) + " outside 0..15");
        return;
    }
    if (static_cast<int64_t>(KST_DATALENGTH[h.type]) * h.count != h.size)
        ERROR_REPORT("Chunk size corruption !");
    if (h.packed < 0 || !kst_chunk_size_allowed(h)) {
        kst_skip(st, "declared size " + std::to_string(h.size) + " (packed " +
                         std::to_string(h.packed) + ") outside the format's limits");
        return;
    }
    const kst_chunk_def& def = KST_CHUNK_TABLE[h.id];
    if (def.scope == KST_SCOPE_NONE)
        return;  // unknown ids carry nothing: their data is passed over
    if (def.array) {
        if (uint8_t* owner = kst_chunk_owner(scene, st, def, h.index))
            kst_apply_array(scene, st, h, owner, payload);
        return;
    }
    if (h.packed == 0) {
        kst_apply_field(scene, st, h, payload, static_cast<size_t>(h.size));
        return;
    }
    auto* data = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(h.size), "kstloader temp data", false));
    if (kst_inflate_into(st, data, payload, h.packed, h.size)) {
        try {
            kst_apply_field(scene, st, h, data, static_cast<size_t>(h.size));
        } catch (...) {
            mem_release(data);
            throw;
        }
    }
    mem_release(data);
}

// --- internal helpers: invariants -----------------------------------------------------------------
static void kst_check_fail(const kst_load_state& st, const std::string& where, const std::string& what)
{
    fatal_raise(st.file + ": " + where + ": " + what);
}

static std::string kst_object_where(const KST_SCENE& scene, int32_t i)
{
    return "object " + std::to_string(i) + " (\"" + kst_name_get(scene.OBJ[i].NAME) + "\")";
}

static void kst_check_length(const kst_load_state& st, const std::string& where, const char* array,
                             int64_t have, const char* count_name, int32_t count)
{
    if (count < 0)
        kst_check_fail(st, where, std::string(count_name) + " is negative (" + std::to_string(count) + ")");
    if (have < count)
        kst_check_fail(st, where, std::string(array) + " holds " + std::to_string(have) +
                                      " elements but " + count_name + " is " + std::to_string(count));
}

static void kst_check_faces(const kst_load_state& st, const std::string& where, const KST_OBJECT& o)
{
    for (int32_t f = 0; f < o.FACES; ++f) {
        const int32_t c[3] = {o.FACE[f].A, o.FACE[f].B, o.FACE[f].C};
        for (int32_t v : c)
            if (v < 0 || v >= o.VERTICES)
                kst_check_fail(st, where, "FACE " + std::to_string(f) + " uses vertex " +
                                              std::to_string(v) + " outside VERTEX (" +
                                              std::to_string(o.VERTICES) + " vertices)");
    }
    for (int32_t s = 0; s < o.STRIPLENGTH; ++s)
        if (o.STRIP[s] >= o.VERTICES)
            kst_check_fail(st, where, "STRIP entry " + std::to_string(s) + " uses vertex " +
                                          std::to_string(o.STRIP[s]) + " outside VERTEX (" +
                                          std::to_string(o.VERTICES) + " vertices)");
}

static void kst_check_neighbours(const kst_load_state& st, const std::string& where,
                                 const KST_OBJECT& o)
{
    for (int32_t f = 0; f < o.FACES; ++f) {
        const int32_t n[3] = {o.NEIGHBOUR[f].A, o.NEIGHBOUR[f].B, o.NEIGHBOUR[f].C};
        for (int32_t v : n)
            if (v < -1 || v >= o.FACES)
                kst_check_fail(st, where, "NEIGHBOUR of face " + std::to_string(f) + " is " +
                                              std::to_string(v) + ", neither -1 nor a face index");
    }
}

// Neighbours are computed (and the file's ignored) for formats 1.0 and 1.1.
static bool kst_computes_neighbours(const KST_SCENE& scene)
{
    return scene.MAJORVERSION == 1 && scene.MINORVERSION < 2;
}

static void kst_check_skin(const kst_load_state& st, const std::string& where, const KST_OBJECT& o,
                           const std::array<int64_t, KST_OBJ_ARRAYS>& len);

static void kst_check_object(const KST_SCENE& scene, const kst_load_state& st, int32_t i)
{
    const KST_OBJECT& o = scene.OBJ[i];
    const auto& len = st.object_len[static_cast<size_t>(i)];
    std::string where = kst_object_where(scene, i);
    kst_check_length(st, where, "STRIP", len[0], "STRIPLENGTH", o.STRIPLENGTH);
    kst_check_length(st, where, "VERTEX", len[1], "VERTICES", o.VERTICES);
    kst_check_length(st, where, "FACE", len[2], "FACES", o.FACES);
    kst_check_length(st, where, "ORIG_FACE", len[10], "FACES", o.FACES);
    if (o.COLOR)
        kst_check_length(st, where, "CVERTEX", len[3], "VERTICES", o.VERTICES);
    if (o.TEXTURE)
        kst_check_length(st, where, "TEXCOORD", len[4], "VERTICES", o.VERTICES);
    if (o.NORMALS)
        kst_check_length(st, where, "VERTEXNORMAL", len[5], "VERTICES", o.VERTICES);
    kst_check_length(st, where, "POSITION", len[6], "POSKEYS", o.POSKEYS);
    kst_check_length(st, where, "ROTATE", len[7], "ROTKEYS", o.ROTKEYS);
    kst_check_length(st, where, "SCALE", len[8], "SCALEKEYS", o.SCALEKEYS);
    if (o.MATERIAL < 0 || o.MATERIAL >= scene.MATERIALS || !scene.MATERIAL)
        kst_check_fail(st, where, "MATERIAL " + std::to_string(o.MATERIAL) + " outside the " +
                                      std::to_string(scene.MATERIALS) + " materials");
    kst_check_faces(st, where, o);
    kst_check_skin(st, where, o, len);
    if (!kst_computes_neighbours(scene)) {
        kst_check_length(st, where, "NEIGHBOUR", len[9], "FACES", o.FACES);
        kst_check_neighbours(st, where, o);
    }
}

// The product of two counts, or -1 when either is negative.
static int64_t kst_count_product(int32_t a, int32_t b)
{
    return a < 0 || b < 0 ? -1 : static_cast<int64_t>(a) * b;
}

static void kst_check_product(const kst_load_state& st, const std::string& where, const char* array,
                              int64_t have, const char* what, int64_t need)
{
    if (need < 0)
        kst_check_fail(st, where, std::string(what) + " is negative");
    if (have < need)
        kst_check_fail(st, where, std::string(array) + " holds " + std::to_string(have) + " elements but " +
                                      what + " is " + std::to_string(need));
}

// Skinning and morph arrays: long enough for their counts, joint indices
// inside JOINTBIND, and at least one sampled frame whenever either is used.
static void kst_check_skin(const kst_load_state& st, const std::string& where, const KST_OBJECT& o,
                           const std::array<int64_t, KST_OBJ_ARRAYS>& len)
{
    if (o.JOINTS == 0 && o.MORPHS == 0)
        return;
    if (o.SKINFRAMES < 1)
        kst_check_fail(st, where, "SKINFRAMES is " + std::to_string(o.SKINFRAMES) + " for a skinned or morphed object");
    if (o.JOINTS != 0) {
        kst_check_length(st, where, "SKINJOINT", len[11], "VERTICES", o.VERTICES);
        kst_check_length(st, where, "SKINWEIGHT", len[12], "VERTICES", o.VERTICES);
        kst_check_length(st, where, "JOINTBIND", len[13], "JOINTS", o.JOINTS);
        kst_check_product(st, where, "JOINTMATRIX", len[14], "JOINTS * SKINFRAMES",
                          kst_count_product(o.JOINTS, o.SKINFRAMES));
        for (int32_t v = 0; v < o.VERTICES; ++v) {
            const KST_JOINTSET& j = o.SKINJOINT[v];
            for (int32_t k : {j.A, j.B, j.C, j.D})
                if (k < 0 || k >= o.JOINTS)
                    kst_check_fail(st, where, "SKINJOINT of vertex " + std::to_string(v) + " names joint " +
                                                  std::to_string(k) + " outside the " + std::to_string(o.JOINTS) +
                                                  " joints");
        }
    }
    if (o.MORPHS != 0) {
        int64_t shapes = kst_count_product(o.MORPHS, o.VERTICES);
        kst_check_product(st, where, "MORPHVERTEX", len[15], "MORPHS * VERTICES", shapes);
        if (o.MORPHNORMAL)
            kst_check_product(st, where, "MORPHNORMAL", len[16], "MORPHS * VERTICES", shapes);
        kst_check_product(st, where, "MORPHWEIGHT", len[17], "MORPHS * SKINFRAMES",
                          kst_count_product(o.MORPHS, o.SKINFRAMES));
    }
}

// Rejects a scene the renderer could not use without leaving an array.
static void kst_check_scene(const KST_SCENE& scene, const kst_load_state& st)
{
    kst_check_length(st, "camera", "CAMPOSITION", st.camera_len[0], "CAMPOSKEYS", scene.CAMPOSKEYS);
    kst_check_length(st, "camera", "CAMTARGET", st.camera_len[1], "CAMTARGETKEYS",
                     scene.CAMTARGETKEYS);
    for (int l = 0; l < KST_LIGHTS; ++l)
        kst_check_length(st, "light " + std::to_string(l), "POSITION", st.light_len[l], "POSKEYS",
                         scene.LIGHT[l].POSKEYS);
    if (scene.MATERIALS != (st.materials_alloc < 0 ? 0 : st.materials_alloc))
        kst_check_fail(st, "scene", "MATERIALS does not match the material array");
    if (scene.OBJECTS != (st.objects_alloc < 0 ? 0 : st.objects_alloc))
        kst_check_fail(st, "scene", "OBJECTS does not match the object array");
    for (int32_t i = 0; i < st.objects_alloc; ++i)
        kst_check_object(scene, st, i);
}

// --- internal helpers: the load -------------------------------------------------------------------
static kst_load_state kst_load_begin(const KST_SCENE& scene, const std::string& file)
{
    kst_load_state st;
    st.file = file;
    // arrays of a record loaded before are owned, but their lengths are unknown here
    if (scene.MATERIAL)
        st.materials_alloc = scene.MATERIALS;
    if (scene.OBJ) {
        st.objects_alloc = scene.OBJECTS;
        st.object_len.assign(static_cast<size_t>(scene.OBJECTS > 0 ? scene.OBJECTS : 0), {});
    }
    return st;
}

static void kst_load_chunks(KST_SCENE& scene, kst_load_state& st, const uint8_t* data, size_t size)
{
    kst_scanner scan = kst_scan_begin(data, size);
    kst_chunk_header h{};
    const uint8_t* payload = nullptr;
    size_t payload_size = 0;
    for (;;) {
        kst_scan_result r = kst_scan_next(scan, h, payload, payload_size);
        if (r == KST_SCAN_END)
            return;
        if (r == KST_SCAN_STRAY)
            fatal_raise(st.file + (size == 0 ? ": empty file" : ": file ends with " +
                        std::to_string(size - scan.pos) + " stray bytes" + kst_at(int64_t(scan.pos))));
        if (r == KST_SCAN_TRUNCATED)
            fatal_raise(st.file + ": file ends inside the chunk" + kst_at(h.offset) +
                        " (file size " + std::to_string(size) + ")");
        KST_READCHUNK(scene, st, h, payload);
    }
}

// --- public functions --------------------------------------------------------------------------------
const kst_chunk_def& kst_chunk_lookup(uint8_t id)
{
    return KST_CHUNK_TABLE[id];
}

std::string kst_chunk_field(uint8_t id, int32_t index)
{
    const kst_chunk_def& d = KST_CHUNK_TABLE[id];
    std::string i = "[" + std::to_string(index) + "].";
    switch (d.scope) {
    case KST_SCOPE_SCENE: return std::string("scene.") + d.field;
    case KST_SCOPE_MATERIAL: return "MATERIAL" + i + d.field;
    case KST_SCOPE_OBJECT: return "OBJ" + i + d.field;
    case KST_SCOPE_LIGHT: return "LIGHT" + i + d.field;
    default: return "unknown";
    }
}

size_t kst_chunk_payload(const kst_chunk_header& h)
{
    if (h.packed != 0)
        return h.packed > 0 ? static_cast<size_t>(h.packed) : 0;
    return h.size > 0 ? static_cast<size_t>(h.size) : 0;
}

bool kst_chunk_size_allowed(const kst_chunk_header& h)
{
    if (h.size < 0 || h.type > 15)
        return false;
    return static_cast<int64_t>(h.size) <= static_cast<int64_t>(KST_MAX_ARRAY) * KST_DATALENGTH[h.type];
}

kst_scanner kst_scan_begin(const uint8_t* data, size_t size)
{
    return kst_scanner{data, size, 0, 0};
}

kst_scan_result kst_scan_next(kst_scanner& scan, kst_chunk_header& h, const uint8_t*& payload,
                              size_t& payload_size)
{
    for (;;) {
        // every step consumed at least 4 bytes, so pos > 0 means "not the first read"
        if (scan.pos == scan.size && scan.pos > 0)
            return KST_SCAN_END;
        if (scan.size - scan.pos < KST_TAG_SIZE)
            return KST_SCAN_STRAY;
        const uint8_t* tag = scan.data + scan.pos;
        h.offset = static_cast<int64_t>(scan.pos);
        scan.pos += KST_TAG_SIZE;
        if (tag[0] != 'F' || tag[1] != '!') {
            scan.skipped += KST_TAG_SIZE;
            continue;
        }
        h.type = tag[2];
        h.id = tag[3];
        if (scan.size - scan.pos < KST_HEADER_REST)
            return KST_SCAN_TRUNCATED;
        const uint8_t* p = scan.data + scan.pos;
        h.count = kst_get_int32(p);
        h.size = kst_get_int32(p + 4);
        h.packed = kst_get_int32(p + 8);
        h.index = kst_get_int32(p + 12);
        scan.pos += KST_HEADER_REST;
        payload_size = kst_chunk_payload(h);
        if (scan.size - scan.pos < payload_size)
            return KST_SCAN_TRUNCATED;
        payload = scan.data + scan.pos;
        scan.pos += payload_size;
        return KST_SCAN_CHUNK;
    }
}

void kst_scene_load_bytes(KST_SCENE& scene, const uint8_t* data, size_t size,
                          const std::string& filename)
{
    kst_load_state st = kst_load_begin(scene, filename);
    try {
        kst_load_chunks(scene, st, data, size);
        kst_check_scene(scene, st);
        KST_SCENE_PREPARE(scene);
    } catch (...) {
        KST_SCENE_FREE(scene);
        std::memset(static_cast<void*>(&scene), 0, sizeof scene);
        throw;
    }
}

void KST_SCENE_LOAD(KST_SCENE& scene, const std::string& filename)
{
    FILE* f = std::fopen(filename.c_str(), "rb");
    if (!f) {
        ERROR_REPORT("File (" + filename + ") not found.");
        fatal_raise(filename + ": cannot read at offset 0: " + std::strerror(errno));
    }
    // one read into a buffer of the file's size, then whatever may follow
    std::vector<uint8_t> bytes;
    struct stat info {};
    if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.resize(static_cast<size_t>(info.st_size));
    size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(got);
    uint8_t block[1 << 16];
    size_t n;
    while (!std::ferror(f) && (n = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        fatal_raise(filename + ": read error at offset " + std::to_string(bytes.size()));
    kst_scene_load_bytes(scene, bytes.data(), bytes.size(), filename);
}
