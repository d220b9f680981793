// engine/scene/records.h - the Kestrel scene records.
//
// A scene is one plain record, KST_SCENE, holding its materials, objects,
// eight lights, the key-framed camera and the working arrays that preparation,
// the shadow code and the particle system fill. The records are plain data with
// no behaviour: the loader fills them chunk by chunk, preparation derives
// further arrays, the renderer reads them. Field names and order follow the
// scene format exactly, because the file stores them field by field and the
// tools print them under these names.
//
// Types: float is a 32-bit IEEE single, int32 a signed 32-bit integer, byte an
// unsigned 8-bit integer, KST_BOOL one byte (0 false, anything else true), and
// KST_NAME a 256-byte text of one length byte and up to 255 characters. Arrays
// are separately allocated (support/mem.h) and owned by the scene; a null
// pointer is an absent array. New arrays are cleared to zero, so a field that no
// chunk sets reads as zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

// KST_SCENE has a field named INFINITY, which <cmath> also defines as a macro.
// Left alone, a file that includes <cmath> first would see that field as a
// member function and lay the record out without it, silently disagreeing with
// every other file about where the fields after it are. <cmath> is included
// here first and the macro dropped, so the record is the same everywhere; use
// std::numeric_limits<float>::infinity() or HUGE_VALF for the value instead.
#undef INFINITY

// --- design limits ----------------------------------------------------------------
constexpr int32_t KST_MAX_ARRAY     = 500001;  // elements of a vertex, face or key array
constexpr int32_t KST_MAX_MATERIALS = 5001;
constexpr int32_t KST_MAX_OBJECTS   = 8001;
constexpr int32_t KST_LIGHTS        = 8;

// --- scalar and small record types ----------------------------------------------
using KST_BOOL = uint8_t;

struct KST_NAME {
    uint8_t LEN;         // number of characters, 0..255
    char    TEXT[255];   // characters; bytes after LEN are undefined
};
static_assert(sizeof(KST_NAME) == 256);

std::string kst_name_get(const KST_NAME& name);                // the LEN characters
void        kst_name_set(KST_NAME& name, const std::string& text);  // cut to 255, rest zeroed
bool        kst_name_equals(const KST_NAME& name, const std::string& text);

struct KST_VECTOR      { float X, Y, Z; };
struct KST_RGB         { float R, G, B; };
struct KST_RGBA        { float R, G, B, A; };
struct KST_TEXTCOORD   { float U, V; };
struct KST_FACE        { int32_t A, B, C; };
struct KST_PLANE       { float A, B, C, D; };
struct KST_KEYVECTOR   { int32_t KEY; float X, Y, Z; };
struct KST_KEYQUAT     { int32_t KEY; float X, Y, Z, W; };
struct KST_FOGPARAM    { float DENSITY, FOGSTART, FOGEND; };
struct KST_MATRIX      { float m[4][4]; };
struct KST_JOINTSET    { int32_t A, B, C, D; };   // four joint indices of a skinned vertex
struct KST_WEIGHTSET   { float A, B, C, D; };     // their weights, summing to 1

static_assert(sizeof(KST_VECTOR) == 12 && sizeof(KST_RGB) == 12 && sizeof(KST_RGBA) == 16);
static_assert(sizeof(KST_TEXTCOORD) == 8 && sizeof(KST_FACE) == 12 && sizeof(KST_PLANE) == 16);
static_assert(sizeof(KST_KEYVECTOR) == 16 && sizeof(KST_KEYQUAT) == 20);
static_assert(sizeof(KST_FOGPARAM) == 12 && sizeof(KST_MATRIX) == 64);
static_assert(sizeof(KST_JOINTSET) == 16 && sizeof(KST_WEIGHTSET) == 16);

// --- material ---------------------------------------------------------------------
struct KST_MATERIAL {
    KST_NAME NAME;            // selected by this name in configuration files
    KST_NAME TEXTNAME;        // texture file, relative to the data folder
    float    TRANSPARENCY;    // stored and written to configs; not used when drawing
    int32_t  TEXTURE;         // GL name of the bound texture (not stored)
    float    UTILE;           // texture repeat along U
    float    VTILE;           // texture repeat along V
    uint8_t  TEXTURETYPE;     // 24 or 32 bits per pixel of the bound texture
    KST_BOOL TEXTURED;        // the material has a texture
    KST_RGB  AMBIENT;
    KST_RGB  DIFFUSE;
    KST_RGB  SPECULAR;
    int32_t  SHINE;           // specular exponent
    KST_NAME ENVTEXTNAME;     // environment-map file
    KST_BOOL ENVMAP;          // the material has an environment map
    int32_t  ENVTEXTURE;      // GL name of the environment map (not stored)
    int32_t  MAGTYPE;         // filter type 0..3
    KST_BOOL RECEIVELIGHT;    // lit
    float    ALPHATEST;       // 0: off; otherwise the alpha reference
    uint8_t  DEPTHTEST;       // 0 test+write, 1 test, 2 write, 3 neither
    uint8_t  BLEND;           // 0 none, 1 ONE/ONE, 2 ALPHA, 3 1-ALPHA, 4 SRC_COLOR
    uint8_t  TEXTUREWRAP;     // 1 clamp, otherwise repeat
    float    CONSTANTALPHA;   // alpha of the unlit current colour
    float    FLARESIZE;       // > 0: the object is a flare of this half-diagonal
    KST_BOOL SELECTED;        // selection mark (not stored)
    uint8_t  DEPTHMODE;       // 0 LESS, 1 LEQUAL, 2 EQUAL, 3 GREATER, 4 GEQUAL
    KST_RGB  ENVMAPCOLOR;     // colour of the environment layer
    float    ENVMAPALPHA;     // alpha of the environment layer
    KST_BOOL ENVMODE;         // true: environment layer alpha-blended; false: added
};

// --- particles ----------------------------------------------------------------------
struct KST_PARTICLEDATA {
    KST_BOOL   ENABLED;            // the object emits particles
    KST_VECTOR DELTAVECTOR;        // base velocity
    KST_VECTOR DELTAVECTORSPREAD;  // random spread of the velocity
    KST_RGB    COLOR;              // base colour
    KST_RGB    COLORSPREAD;        // random spread of the colour
    uint8_t    COLORATTRIB;        // ageing flags 1, 2, 4, 8
    float      POWER;              // starting life
    float      DELTAPOWER;         // life lost per step
    int32_t    NEWPARTICLE;        // particles emitted per step
    KST_NAME   TEXTURENAME;        // particle texture; empty: none
    int32_t    TEXTURE;            // GL name of that texture (not stored)
    float      SIZE;               // half-diagonal of the drawn square
};

struct KST_PARTICLE {
    KST_BOOL   DELETED;      // the slot is free
    KST_VECTOR POS;
    KST_RGB    COLOR;
    KST_VECTOR DELTAVECTOR;
    uint8_t    COLORATTRIB;
    float      POWER;
    float      DELTAPOWER;
    int32_t    SOURCE;       // index of the emitting object
};

// --- object -------------------------------------------------------------------------
struct KST_OBJECT {
    uint8_t          RENDERMODE;     // 1: draw STRIP; otherwise FACE
    KST_BOOL         NORMALS;        // VERTEXNORMAL present
    KST_BOOL         TEXTURE;        // TEXCOORD present
    KST_BOOL         COLOR;          // CVERTEX present
    KST_BOOL         VISIBLE;
    KST_NAME         NAME;
    int32_t          VERTICES;       // length of VERTEX, CVERTEX, TEXCOORD, VERTEXNORMAL
    int32_t          FACES;          // length of FACE, ORIG_FACE, NEIGHBOUR, per-face arrays
    int32_t          MATERIAL;       // index into the scene's MATERIAL array
    int32_t          POSKEYS;
    int32_t          ROTKEYS;
    int32_t          SCALEKEYS;
    int32_t          STRIPLENGTH;
    KST_BOOL         BACKFACECULL;
    int32_t          PASSNO;         // 0 standard, 1 transparent, 2 alpha texture
    uint8_t          LOD;            // 0 always, 1 within DRAWDISTANCE, other never
    KST_MATRIX       INITMATRIX;
    KST_VECTOR       POS;            // pivot in the world
    KST_RGB          TEMPCOLOR;      // flare working colour (not stored)
    KST_PARTICLEDATA PARTICLE;       // emitter settings
    KST_BOOL         SELECTED;
    KST_BOOL         PICKED;
    KST_VECTOR       STATICROTATE;   // extra rotation in degrees about X, Y, Z
    KST_VECTOR       UVDELTA;        // texture scroll per frame
    uint16_t*        STRIP;          // [STRIPLENGTH]
    KST_FACE*        FACE;           // [FACES]
    KST_FACE*        ORIG_FACE;      // [FACES]
    KST_VECTOR*      VERTEX;         // [VERTICES]
    KST_RGB*         CVERTEX;        // [VERTICES] when COLOR
    KST_TEXTCOORD*   TEXCOORD;       // [VERTICES] when TEXTURE
    KST_VECTOR*      VERTEXNORMAL;   // [VERTICES] when NORMALS
    KST_VECTOR*      FACENORMAL;     // [FACES], preparation
    KST_KEYVECTOR*   POSITION;       // [POSKEYS]
    KST_KEYQUAT*     ROTATE;         // [ROTKEYS]
    KST_KEYVECTOR*   SCALE;          // [SCALEKEYS]
    KST_PLANE*       PLANE;          // [FACES], allocated by preparation, never filled
    KST_FACE*        NEIGHBOUR;      // [FACES], face across each edge or -1
    KST_BOOL*        LIGHTVISIBLE;   // [FACES], shadow code
    KST_BOOL*        CONTOUR;        // [3 * FACES], shadow code
    KST_VECTOR*      FACECENTER;     // [FACES], preparation
    KST_BOOL         CASTSHADOW;
    KST_BOOL         RECEIVESHADOW;
    KST_BOOL         USEFOG;
    uint8_t          FOGMODE;        // 0 linear, 1 exp, 2 exp2
    KST_FOGPARAM     FOGPARAM;
    KST_RGBA         FOGCOLOR;
    // Skinning and morph targets: optional chunks, all zero for a rigid object.
    // Each frame the stored shape (VERTEX, VERTEXNORMAL) is moved by the morph
    // offsets at their weights, then by the joints, into VERTEX and
    // VERTEXNORMAL; the stored shape is kept aside meanwhile (kst_rest_*).
    // Matrices are column-vector transforms, m[row][column], translation in
    // m[0..2][3].
    int32_t          JOINTS;         // skin joints; 0: not skinned
    int32_t          MORPHS;         // morph targets; 0: none
    int32_t          SKINFRAMES;     // frames sampled in JOINTMATRIX and MORPHWEIGHT (frame 0 first)
    KST_JOINTSET*    SKINJOINT;      // [VERTICES] when JOINTS
    KST_WEIGHTSET*   SKINWEIGHT;     // [VERTICES] when JOINTS
    KST_MATRIX*      JOINTBIND;      // [JOINTS] stored shape -> joint space at the bind pose
    KST_MATRIX*      JOINTMATRIX;    // [SKINFRAMES * JOINTS] joint space -> world, frame by frame
    KST_VECTOR*      MORPHVERTEX;    // [MORPHS * VERTICES] position offsets, target by target
    KST_VECTOR*      MORPHNORMAL;    // [MORPHS * VERTICES] normal offsets; may be absent
    float*           MORPHWEIGHT;    // [SKINFRAMES * MORPHS] target weights, frame by frame
    KST_VECTOR*      kst_rest_vertex;  // the stored VERTEX while VERTEX holds a pose (not stored)
    KST_VECTOR*      kst_rest_normal;  // the stored VERTEXNORMAL likewise (not stored)
    float            kst_posed_frame;  // the frame VERTEX holds when kst_rest_vertex is set
};

// --- light ----------------------------------------------------------------------------
struct KST_LIGHT {
    KST_NAME       NAME;
    KST_VECTOR     POS;
    int32_t        POSKEYS;
    KST_RGB        AMBIENT;
    KST_RGB        DIFFUSE;
    KST_RGB        SPECULAR;
    KST_BOOL       ENABLED;
    KST_KEYVECTOR* POSITION;  // [POSKEYS]
};

// --- per-object bounds (preparation; not stored in the file) ---------------------------
// A sphere about the pivot POS holding every vertex, and the axis-aligned box
// of the vertices, both in the object's own (vertex) coordinates. vertex and
// vertices name the array they were computed from, so a user can tell when
// they are stale.
struct kst_bounds {
    KST_VECTOR        pivot;
    float             radius;
    KST_VECTOR        lo, hi;
    const KST_VECTOR* vertex;
    int32_t           vertices;
};

struct kst_gpu_scene;  // buffer objects of the renderer (engine/render/draw.cpp)

// --- scene ----------------------------------------------------------------------------
struct KST_SCENE {
    int32_t        NUMOFCHUNKS;        // chunks in the file the scene came from
    uint8_t        MAJORVERSION;
    uint8_t        MINORVERSION;
    KST_NAME       NAME;
    int32_t        FRAMES;
    int32_t        MATERIALS;
    int32_t        OBJECTS;
    int32_t        MAXPASS;            // preparation
    float          CAMFOV;             // radians
    float          CAMNEAR;
    float          CAMFAR;
    int32_t        CAMPOSKEYS;
    int32_t        CAMTARGETKEYS;
    int32_t        MAXFACES;           // preparation
    int32_t        VOLUMEARRAYLENGTH;  // shadow quads in use
    KST_MATERIAL*  MATERIAL;           // [MATERIALS]
    KST_OBJECT*    OBJ;                // [OBJECTS]
    KST_KEYVECTOR* CAMPOSITION;        // [CAMPOSKEYS]
    KST_KEYVECTOR* CAMTARGET;          // [CAMTARGETKEYS]
    KST_VECTOR*    CAMPOSEASE;         // [CAMPOSKEYS], preparation
    KST_VECTOR*    CAMTARGETEASE;      // [CAMTARGETKEYS], preparation
    KST_PARTICLE*  PARTICLE;           // [PARTICLES], particle pool
    KST_VECTOR*    VOLUMEARRAY;        // [12 * total faces]
    KST_FACE*      VOLUMEARRAYINDEX;   // [6 * total faces]
    KST_LIGHT      LIGHT[KST_LIGHTS];
    uint8_t*       MAINDATA;           // raw block nothing fills
    int32_t        MAINDATASIZE;
    int32_t        PARTICLES;          // pool size
    float          DRAWDISTANCE;       // limit for LOD 1 objects
    float          INFINITY;           // shadow extrusion factor
    float          SHADOWVALUE;        // dimming of shadow receivers
    uint8_t        MOTION;             // tracks the renderer plays beyond POSITION (KST_MOTION_*)
    int64_t        kst_volume_slots;   // quads VOLUMEARRAY holds (3 * total faces); not a stored field
    kst_bounds*    kst_object_bounds;  // [kst_bounds_count], preparation; not a stored field
    int32_t        kst_bounds_count;
    kst_gpu_scene* kst_gpu;            // buffer objects, made by the first draw; not a stored field
};

// Bits of MOTION. A scene without them draws its objects moved by their
// position tracks alone, as scenes always were; with them, the renderer also
// turns each object about its pivot POS by its ROTATE track and scales it
// about the pivot by its SCALE track. The scale acts along the object's own
// axes at frame 0 (the rotation part of INITMATRIX; the world axes for an
// identity INITMATRIX). Other bits are kept and written back, and mean nothing.
constexpr uint8_t KST_MOTION_ROTATE = 1;
constexpr uint8_t KST_MOTION_SCALE  = 2;

// Total faces of a scene (sum of FACES over its objects), in 64 bits.
int64_t kst_scene_total_faces(const KST_SCENE& scene);
