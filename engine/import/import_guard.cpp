// engine/import/import_guard.cpp - header counts checked before assimp reads a file.
//
// Some of assimp's readers take the element counts in a file's header at their
// word and allocate (and walk) that many elements before they find out that
// the file holds far fewer: a 200-byte OFF file that claims a billion vertices
// costs gigabytes and minutes, and its half-filled mesh then trips an
// assertion in the triangulation step. The guard reads the same header counts
// and refuses the file when they cannot fit its size, so that memory and time
// stay proportional to the bytes given. The bounds are loose on purpose
// (every element needs at least one byte per value, an OFF line at least two
// bytes) and never refuse a well-formed file.
//
// assimp as Debian builds it also checks its own invariants (ai_assert) and
// aborts the whole program when one fails, which hostile files reach in the
// OpenGEX reader and in the triangulation step. Its check routine is an
// exported symbol that the library calls through the dynamic linker, so the
// definition below replaces it: a failed check throws, assimp's readers and
// post-processing catch that like any other import error, and the import
// ends with a message instead of a core dump.
//
// Half-Life models (magic "IDST", sequence files "IDSQ") are refused outright:
// assimp's reader follows the dozens of offsets in them without checking them
// against the file and reads far outside it on a damaged one.
//
// OpenGEX files are refused too: assimp's OpenGEX reader dereferences null
// structure references and asserts on list sizes in damaged files. A file is
// taken for OpenGEX by its extension or, under an extension assimp does not
// know, by the structure names assimp's own detection looks for.
//
// Valve SMD files are text; one with a NUL byte in it never returns from
// assimp's SMD reader, so such a file is refused.
//
// Covered: OFF (vertex, face and edge counts) and PLY (every element's count
// times its properties, against the bytes after the header). A PLY header
// must also end, within its first 64 KiB, in "end_header": without one
// assimp's PLY reader never returns.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>

#include "engine/import/import.h"
#include "support/error.h"

namespace {

constexpr uint64_t guard_huge = std::numeric_limits<uint64_t>::max() / 16;

// Leading decimal digits of `token` (0 when there are none), saturating.
uint64_t guard_number(const std::string& token)
{
    uint64_t v = 0;
    for (char c : token) {
        if (c < '0' || c > '9')
            break;
        v = std::min(guard_huge, v * 10 + static_cast<uint64_t>(c - '0'));
    }
    return v;
}

std::string guard_lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The first `count` whitespace-separated tokens of the head.
std::vector<std::string> guard_tokens(const uint8_t* head, size_t size, size_t count)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (out.size() < count && i < size) {
        while (i < size && std::isspace(head[i]))
            ++i;
        size_t start = i;
        while (i < size && !std::isspace(head[i]))
            ++i;
        if (i > start)
            out.emplace_back(reinterpret_cast<const char*>(head) + start, i - start);
    }
    return out;
}

[[noreturn]] void guard_refuse(const std::string& source, uint64_t claimed, uint64_t file_size)
{
    fatal_raise(source + ": the header promises " + std::to_string(claimed) + " elements, more than the file's " +
                std::to_string(file_size) + " bytes can hold");
}

// OFF: an optional keyword ("OFF", "COFF", "NOFF", "STOFF", "nOFF", ...), then
// the vertex, face and edge counts (after a dimension for "nOFF").
void guard_off(const uint8_t* head, size_t size, uint64_t file_size, const std::string& source)
{
    std::vector<std::string> t = guard_tokens(head, size, 5);
    size_t first = (!t.empty() && guard_lower(t[0]).find("off") != std::string::npos) ? 1 : 0;
    for (size_t i = first; i < t.size() && i < first + 4; ++i) {
        if (i == first + 3 && !(first == 1 && t[0].find('n') != std::string::npos))
            break;  // without a dimension the fourth number is already a coordinate
        uint64_t n = guard_number(t[i]);
        if (n > file_size / 2)
            guard_refuse(source, n, file_size);
    }
}

// PLY: "element NAME COUNT" lines, each followed by its "property" lines, up to
// "end_header", which must be there.
void guard_ply(const uint8_t* head, size_t size, uint64_t file_size, const std::string& source)
{
    std::string text(reinterpret_cast<const char*>(head), size);
    size_t end = text.find("end_header");
    if (end == std::string::npos)
        fatal_raise(source + ": the PLY header has no end_header line");
    uint64_t body = file_size - std::min<uint64_t>(file_size, end);
    std::vector<std::pair<uint64_t, uint64_t>> elements;  // count, properties
    size_t pos = 0;
    while (pos < end) {
        size_t eol = text.find('\n', pos);
        std::string line = text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? text.size() : eol + 1;
        std::vector<std::string> w =
            guard_tokens(reinterpret_cast<const uint8_t*>(line.data()), line.size(), 3);
        if (w.size() >= 3 && w[0] == "element")
            elements.push_back({guard_number(w[2]), 0});
        else if (!w.empty() && w[0] == "property" && !elements.empty())
            ++elements.back().second;
    }
    for (const auto& [count, properties] : elements) {
        uint64_t bytes = count > guard_huge / std::max<uint64_t>(1, properties)
                             ? guard_huge
                             : count * std::max<uint64_t>(1, properties);
        if (bytes > body)
            guard_refuse(source, count, file_size);
    }
}

bool guard_opengex(const uint8_t* head, size_t size, const std::string& ext)
{
    if (ext == "ogex")
        return true;
    static const Assimp::Importer known;
    if (known.IsExtensionSupported("." + ext))
        return false;
    std::string text(reinterpret_cast<const char*>(head), std::min<size_t>(size, 200));
    for (const char* token : {"Metric", "GeometryNode", "VertexArray", "GeometryObject", "Material"})
        if (text.find(token) != std::string::npos)
            return true;
    return false;
}

}  // namespace

namespace Assimp {
void aiAssertViolation(const char* expression, const char* file, int line)
{
    throw std::runtime_error(std::string("assimp's internal check failed: ") + (expression ? expression : "?") +
                             " (" + (file ? file : "?") + ":" + std::to_string(line) + ")");
}
}  // namespace Assimp

void kst_import_guard(const uint8_t* head, size_t head_size, uint64_t file_size, const std::string& ext,
                      const std::string& source)
{
    if (head_size >= 4 && (std::memcmp(head, "IDST", 4) == 0 || std::memcmp(head, "IDSQ", 4) == 0))
        fatal_raise(source + ": Half-Life models are not imported (assimp's reader does not check their offsets)");
    const std::string e = guard_lower(ext.size() && ext[0] == '.' ? ext.substr(1) : ext);
    std::vector<std::string> first = guard_tokens(head, std::min<size_t>(head_size, 64), 1);
    const std::string lead = first.empty() ? std::string() : guard_lower(first[0]);
    if (guard_opengex(head, head_size, e))
        fatal_raise(source + ": OpenGEX files are not imported (assimp's reader does not check their references)");
    if ((e == "smd" || lead == "version") && std::memchr(head, 0, head_size))
        fatal_raise(source + ": the SMD file holds a NUL byte");
    if (e == "off" || lead.find("off") != std::string::npos)
        guard_off(head, head_size, file_size, source);
    if (e == "ply" || lead == "ply")
        guard_ply(head, head_size, file_size, source);
}
