// engine/import/import_guard.cpp - what assimp may read, checked before it reads it.
//
// assimp carries readers for some fifty formats, and fuzzing found hangs,
// reads outside the file and aborts in many of the rarely used ones. The
// importer therefore reads the formats it is made for and tested with -
// glTF (.gltf, .glb), FBX, Collada (.dae), Wavefront OBJ, 3DS, STL and PLY -
// and no other: a file with another extension is refused with a message
// that lists them, and every other reader is taken out of each assimp
// importer the engine makes (kst_import_readers), so that content sniffing
// of a file under an unknown name cannot reach them either.
//
// Of the formats read, PLY takes the element counts in its header at their
// word: assimp allocates and walks that many elements before it finds out
// that the file holds far fewer (a file of a few hundred bytes claiming 100
// million vertices ran for minutes), and it never returns from a header it
// cannot finish. The guard reads the header first: every line must start
// with one of the format's keywords, "end_header" must stand on a line of
// its own within the first 64 KiB, and every element's count times its
// properties must fit the bytes after the header. The bound is loose on
// purpose (a value takes at least one byte) and never refuses a well-formed
// file.
//
// assimp as Debian builds it also checks its own invariants (ai_assert) and
// aborts the whole program when one fails, which hostile files reach in the
// triangulation step. Its check routine is an exported symbol that the
// library calls through the dynamic linker, so the definition below replaces
// it: a failed check throws, assimp's readers and post-processing catch that
// like any other import error, and the import ends with a message instead of
// a core dump.
#include <algorithm>
#include <cctype>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <assimp/BaseImporter.h>
#include <assimp/Importer.hpp>
#include <assimp/importerdesc.h>

#include "engine/import/import_internal.h"
#include "support/error.h"

namespace {

// Extensions of the formats imported, without the dot.
const char* const GUARD_FORMATS[] = {"gltf", "glb", "fbx", "dae", "obj", "3ds", "stl", "ply"};

bool guard_format_allowed(const std::string& ext)
{
    for (const char* f : GUARD_FORMATS)
        if (ext == f)
            return true;
    return false;
}

// True when one of the reader's extensions (a space-separated list) is allowed.
bool guard_reader_allowed(const aiImporterDesc* desc)
{
    if (!desc || !desc->mFileExtensions)
        return false;
    std::string list = desc->mFileExtensions;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = list.find(' ', pos);
        if (end == std::string::npos)
            end = list.size();
        std::string ext = imp_lower(list.substr(pos, end - pos));
        if (!ext.empty() && ext[0] == '.')
            ext.erase(0, 1);
        if (guard_format_allowed(ext))
            return true;
        pos = end + 1;
    }
    return false;
}

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

// One header line's words; false when it holds a control character other
// than a tab or a closing carriage return.
bool guard_ply_line(const std::string& line, std::vector<std::string>& words)
{
    for (size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 && c != '\t' && !(c == '\r' && i + 1 == line.size()))
            return false;
    }
    words = guard_tokens(reinterpret_cast<const uint8_t*>(line.data()), line.size(), 3);
    return true;
}

// PLY: "ply", then "format", "comment", "obj_info", "element NAME COUNT" and
// its "property" lines, up to an "end_header" line, which must be there.
void guard_ply(const uint8_t* head, size_t size, uint64_t file_size, const std::string& source)
{
    std::string text(reinterpret_cast<const char*>(head), size);
    std::vector<std::pair<uint64_t, uint64_t>> elements;  // count, properties
    size_t pos = 0;
    for (bool first = true;; first = false) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            fatal_raise(source + ": the PLY header has no end_header line");
        std::vector<std::string> w;
        if (!guard_ply_line(text.substr(pos, eol - pos), w))
            fatal_raise(source + ": the PLY header holds a byte that is not text");
        pos = eol + 1;
        const std::string key = w.empty() ? std::string() : w[0];
        if (first ? key != "ply" : key == "ply")
            fatal_raise(source + ": the PLY header does not start with a ply line");
        if (key == "end_header" && w.size() == 1)
            break;
        if (key == "element" && w.size() >= 3)
            elements.push_back({guard_number(w[2]), 0});
        else if (key == "property" && !elements.empty())
            ++elements.back().second;
        else if (key != "ply" && key != "format" && key != "comment" && key != "obj_info")
            fatal_raise(source + ": the PLY header has a line that is none of its keywords");
    }
    uint64_t body = file_size - std::min<uint64_t>(file_size, pos);
    for (const auto& [count, properties] : elements) {
        uint64_t bytes = count > guard_huge / std::max<uint64_t>(1, properties)
                             ? guard_huge
                             : count * std::max<uint64_t>(1, properties);
        if (bytes > body)
            guard_refuse(source, count, file_size);
    }
}

}  // namespace

namespace Assimp {
void aiAssertViolation(const char* expression, const char* file, int line)
{
    throw std::runtime_error(std::string("assimp's internal check failed: ") + (expression ? expression : "?") +
                             " (" + (file ? file : "?") + ":" + std::to_string(line) + ")");
}
}  // namespace Assimp

void kst_import_readers(Assimp::Importer& importer)
{
    for (size_t i = importer.GetImporterCount(); i-- > 0;) {
        if (guard_reader_allowed(importer.GetImporterInfo(i)))
            continue;
        Assimp::BaseImporter* reader = importer.GetImporter(i);
        // An unregistered reader is no longer the importer's to delete.
        if (reader && importer.UnregisterLoader(reader) == aiReturn_SUCCESS)
            delete reader;
    }
}

void kst_import_guard(const uint8_t* head, size_t head_size, uint64_t file_size, const std::string& ext,
                      const std::string& source)
{
    const std::string given = imp_lower(ext.size() && ext[0] == '.' ? ext.substr(1) : ext);
    if (!guard_format_allowed(given))
        fatal_raise(source + ": not a format kestrel import reads (" +
                    (given.empty() ? std::string("no extension") : "." + given) +
                    "); it reads glTF (.gltf, .glb), FBX, Collada (.dae), OBJ, 3DS, STL and PLY files");
    if (given == "ply")
        guard_ply(head, head_size, file_size, source);
}
