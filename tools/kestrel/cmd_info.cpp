// tools/kestrel/cmd_info.cpp - `kestrel info FILE.kst [--json]`: chunks as stored.
//
// Walks the file with the loader's own scanner (the 4-byte tag scan), so what
// it lists is exactly what KST_SCENE_LOAD would see, but applies nothing.
// Text form: one row per chunk (tag offset, element type, id, the field it
// carries, count, size, packed size, index), then a summary (format version,
// material and object counts, lights with keys, the tracks the scene asks to
// play when it has a MOTION chunk, number of chunks) and the
// warnings: size mismatches, unknown ids, element types above 15, bytes
// skipped between chunks, stray bytes at the end, a file that ends inside a
// chunk. Warnings do not change the exit status (they describe the file; the
// loader decides what is fatal); an unreadable file is exit 1.
// --json: an array of {offset, type, id, count, size, packed, index}.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/scene/loader.h"
#include "registry.h"
#include "support/error.h"
#include "support/mem.h"
#include "support/zpack.h"

// --- types ------------------------------------------------------------------------------------
struct info_summary {
    int32_t major = -1, minor = -1;           // version bytes (-1: no chunk)
    int32_t materials = 0, objects = 0;
    int32_t light_keys[KST_LIGHTS] = {};      // POSKEYS per light as stored
    int32_t motion = -1;                      // MOTION as stored (-1: no chunk)
    std::vector<kst_chunk_header> chunks;
    std::vector<std::string> warnings;
};

// --- internal helpers ----------------------------------------------------------------------------
static std::string info_read(const std::string& file)
{
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        fatal_raise(file + ": cannot open the file: " + std::strerror(errno));
    std::string bytes;
    char block[1 << 16];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.append(block, n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        fatal_raise(file + ": read error at offset " + std::to_string(bytes.size()));
    return bytes;
}

// The first bytes of a chunk's data as an int32 (cleared, min(size, 4) bytes), inflating if packed.
static int32_t info_value(const kst_chunk_header& h, const uint8_t* payload, size_t payload_size)
{
    int32_t v = 0;
    if (h.packed == 0) {
        std::memcpy(&v, payload, payload_size < 4 ? payload_size : 4);
        return v;
    }
    if (h.packed < 0 || !kst_chunk_size_allowed(h) || int64_t(h.size) > int64_t(h.packed) * 1032 + 64)
        return 0;
    uint8_t* out = nullptr;
    int32_t length = h.size;
    if (ZUNCOMPRESS(out, length, payload, h.packed) == 0)
        std::memcpy(&v, out, length < 4 ? size_t(length) : 4);
    mem_release(out);
    return v;
}

static void info_note(info_summary& s, const kst_chunk_header& h, const uint8_t* payload, size_t n)
{
    if (h.type > 15)
        s.warnings.push_back("offset " + std::to_string(h.offset) + ": element type " +
                             std::to_string(h.type) + " outside 0..15");
    else if (int64_t(KST_DATALENGTH[h.type]) * h.count != h.size)
        s.warnings.push_back("offset " + std::to_string(h.offset) + ": size " + std::to_string(h.size) +
                             " does not match count " + std::to_string(h.count) + " x element size " +
                             std::to_string(KST_DATALENGTH[h.type]));
    if (kst_chunk_lookup(h.id).scope == KST_SCOPE_NONE)
        s.warnings.push_back("offset " + std::to_string(h.offset) + ": unknown chunk id " +
                             std::to_string(h.id) + " (skipped with its data)");
    switch (h.id) {
    case 1: s.major = info_value(h, payload, n) & 0xff; break;
    case 2: s.minor = info_value(h, payload, n) & 0xff; break;
    case 5: s.materials = info_value(h, payload, n); break;
    case 6: s.objects = info_value(h, payload, n); break;
    case 100: s.motion = info_value(h, payload, n) & 0xff; break;
    case 73:
        if (h.index >= 0 && h.index < KST_LIGHTS)
            s.light_keys[h.index] = info_value(h, payload, n);
        break;
    default: break;
    }
}

static info_summary info_scan(const std::string& bytes)
{
    info_summary s;
    kst_scanner scan = kst_scan_begin(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    kst_chunk_header h{};
    const uint8_t* payload = nullptr;
    size_t n = 0;
    for (;;) {
        int64_t skipped_before = scan.skipped;
        kst_scan_result r = kst_scan_next(scan, h, payload, n);
        if (scan.skipped > skipped_before)
            s.warnings.push_back(std::to_string(scan.skipped - skipped_before) + " bytes skipped before offset " +
                                 std::to_string(r == KST_SCAN_CHUNK || r == KST_SCAN_TRUNCATED ? h.offset
                                                                                              : int64_t(scan.pos)));
        if (r == KST_SCAN_END)
            break;
        if (r == KST_SCAN_STRAY) {
            s.warnings.push_back(bytes.empty() ? "empty file"
                                               : std::to_string(bytes.size() - scan.pos) +
                                                     " stray bytes at the end (offset " +
                                                     std::to_string(scan.pos) + ")");
            break;
        }
        if (r == KST_SCAN_TRUNCATED) {
            s.warnings.push_back("file ends inside the chunk at offset " + std::to_string(h.offset));
            break;
        }
        s.chunks.push_back(h);
        info_note(s, h, payload, n);
    }
    return s;
}

static std::string info_row(const kst_chunk_header& h)
{
    char line[256];
    std::snprintf(line, sizeof line, "%10lld %4u %3u  %-32s %10d %10d %10d %6d\n",
                  static_cast<long long>(h.offset), unsigned(h.type), unsigned(h.id),
                  kst_chunk_field(h.id, h.index).c_str(), h.count, h.size, h.packed, h.index);
    return line;
}

// What a MOTION value asks the renderer to play besides the position tracks.
static std::string info_motion(int32_t motion)
{
    const bool rotate = motion & KST_MOTION_ROTATE, scale = motion & KST_MOTION_SCALE;
    if (rotate && scale)
        return "rotation and scale tracks play";
    if (rotate || scale)
        return std::string(rotate ? "rotation" : "scale") + " tracks play";
    return "position tracks only";
}

static std::string info_text(const info_summary& s)
{
    char head[256];
    std::snprintf(head, sizeof head, "%10s %4s %3s  %-32s %10s %10s %10s %6s\n", "offset", "type", "id",
                  "field", "count", "size", "packed", "index");
    std::string out = head;
    for (const kst_chunk_header& h : s.chunks)
        out += info_row(h);
    int lights = 0;
    for (int32_t k : s.light_keys)
        lights += k > 0;
    auto part = [](int32_t v) { return v < 0 ? std::string("?") : std::to_string(v); };
    out += "\nformat version " + part(s.major) + "." + part(s.minor) + "\n";
    out += "materials " + std::to_string(s.materials) + ", objects " + std::to_string(s.objects) +
           ", lights with keys " + std::to_string(lights) + "\n";
    if (s.motion >= 0)
        out += "motion " + std::to_string(s.motion) + " (" + info_motion(s.motion) + ")\n";
    out += "chunks " + std::to_string(s.chunks.size()) + "\n";
    out += "warnings " + std::to_string(s.warnings.size()) + "\n";
    for (const std::string& w : s.warnings)
        out += "  " + w + "\n";
    return out;
}

static std::string info_json(const info_summary& s)
{
    nlohmann::json a = nlohmann::json::array();
    for (const kst_chunk_header& h : s.chunks)
        a.push_back({{"offset", h.offset}, {"type", h.type}, {"id", h.id}, {"count", h.count},
                     {"size", h.size}, {"packed", h.packed}, {"index", h.index}});
    return a.dump() + "\n";
}

static kcmd_register info_registration("info", [](CLI::App& app, int& status) {
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    CLI::App* sub = app.add_subcommand("info", "List the chunks of a scene file as stored");
    sub->add_option("FILE", *file, "scene file (.kst)")->required();
    sub->add_flag("--json", *json, "print a JSON array of the chunk headers");
    sub->callback([file, json, &status]() {
        info_summary s = info_scan(info_read(*file));
        std::string out = *json ? info_json(s) : info_text(s);
        std::fwrite(out.data(), 1, out.size(), stdout);
        status = 0;
    });
});
