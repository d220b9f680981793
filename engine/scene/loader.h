// engine/scene/loader.h - reading .kst scene files.
//
// KST_SCENE_LOAD reads the chunked file into a caller-owned KST_SCENE and
// prepares it (prepare.h) in the same call. Bad chunks that can be stepped over
// are reported through ERROR_REPORT; input/output failures and scenes that break
// the renderer's invariants are fatal errors naming the file.
//
// The record passed in must be zero-initialised or a scene this engine loaded
// or built before: the loader owns every array reachable from it, frees arrays
// that later chunks replace, and on a fatal error releases everything and
// leaves the record cleared (no partial scene is returned).
//
// The chunk table and the chunk scanner are public so that the writer and the
// tools (kestrel info) read the format through the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/scene/records.h"

extern int32_t KST_DATALENGTH[16];   // element size per element type
extern uint8_t KST_FORMATMAJOR;      // 1
extern uint8_t KST_FORMATMINOR;      // 2

void KST_SCENE_LOAD(KST_SCENE& scene, const std::string& filename);

// Copies of chunk data into fields and arrays: one 4-byte value, n 4-byte
// values, n 2-byte values (byte for byte; the file and the machine are both
// little-endian).
void KST_COPYDWORD(const void* source, void* destination);
void KST_COPYDWORDS(const void* source, void* destination, size_t n);
void KST_COPYWORDS(const void* source, void* destination, size_t n);

// Loads (and prepares) a scene from bytes already in memory; `filename` names
// the source in messages. KST_SCENE_LOAD reads the file and calls this.
void kst_scene_load_bytes(KST_SCENE& scene, const uint8_t* data, size_t size,
                          const std::string& filename);

// --- the chunk table ------------------------------------------------------------------
// Which record a chunk's index selects.
enum kst_scope : uint8_t { KST_SCOPE_NONE, KST_SCOPE_SCENE, KST_SCOPE_MATERIAL, KST_SCOPE_OBJECT,
                           KST_SCOPE_LIGHT };

struct kst_chunk_def {
    kst_scope   scope;      // KST_SCOPE_NONE: the id carries nothing
    const char* field;      // record field name ("VERTEX", "PARTICLE.SIZE")
    uint8_t     type;       // element type the writer uses
    bool        packed;     // the writer compresses it
    bool        array;      // an array chunk (count = array length)
    uint16_t    offset;     // byte offset of the field (or array pointer) in its record
    uint16_t    width;      // field width in bytes; element size for arrays
};

// The definition of chunk id (0..255); scope NONE for ids that carry nothing.
const kst_chunk_def& kst_chunk_lookup(uint8_t id);
// "OBJ[3].VERTEX", "MATERIAL[0].NAME", "LIGHT[2].POS", "scene.FRAMES" or "unknown".
std::string kst_chunk_field(uint8_t id, int32_t index);

// --- the chunk scanner ------------------------------------------------------------------
// One 20-byte chunk header as stored, with the offset of its tag.
struct kst_chunk_header {
    int64_t offset;
    uint8_t type, id;
    int32_t count, size, packed, index;
};

// Walks a file the way the loader does: 4-byte steps until the tag "F!",
// then the header and the data that follows it.
struct kst_scanner {
    const uint8_t* data;
    size_t         size;
    size_t         pos;       // next byte to read
    int64_t        skipped;   // bytes passed over between chunks so far
};

enum kst_scan_result {
    KST_SCAN_CHUNK,       // a chunk: header filled, payload at data + pos - payload
    KST_SCAN_END,         // the file ends cleanly
    KST_SCAN_STRAY,       // 1 to 3 bytes (or an empty file) where a tag was expected
    KST_SCAN_TRUNCATED,   // the file ends inside a chunk header or its data
};

kst_scanner     kst_scan_begin(const uint8_t* data, size_t size);
kst_scan_result kst_scan_next(kst_scanner& scan, kst_chunk_header& header, const uint8_t*& payload,
                              size_t& payload_size);
// Data bytes that follow a header: packed size, or size when stored as is
// (0 for negative values, which cannot be followed).
size_t kst_chunk_payload(const kst_chunk_header& header);

// True when the declared size is not negative and holds at most 500001
// elements of the chunk's element type (the design limit of every array).
bool kst_chunk_size_allowed(const kst_chunk_header& header);
