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
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <assimp/BaseImporter.h>
#include <assimp/Importer.hpp>
#include <assimp/importerdesc.h>

#include "engine/import/import_internal.h"
#include "support/error.h"

namespace {

// Extensions of the formats imported, without the dot.
const char* const GUARD_FORMATS[] = {"gltf", "glb", "fbx", "dae", "obj", "3ds", "stl", "ply"};

// "obj", ".OBJ" -> "obj".
std::string guard_bare_ext(const std::string& ext)
{
    return imp_lower(!ext.empty() && ext[0] == '.' ? ext.substr(1) : ext);
}

bool guard_format_allowed(const std::string& ext)
{
    for (const char* f : GUARD_FORMATS)
        if (ext == f)
            return true;
    return false;
}

// True when one of the reader's extensions (a space-separated list) is `ext`.
bool guard_reader_reads(const aiImporterDesc* desc, const std::string& want)
{
    if (!desc || !desc->mFileExtensions || !guard_format_allowed(want))
        return false;
    std::string list = desc->mFileExtensions;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = list.find(' ', pos);
        if (end == std::string::npos)
            end = list.size();
        std::string ext = guard_bare_ext(list.substr(pos, end - pos));
        if (ext == want)
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

bool guard_at(std::string_view text, size_t pos, const char* word)
{
    return text.compare(pos, std::strlen(word), word) == 0;
}

// True when text[pos] ends a tag name: '>', '/' or white space.
bool guard_name_ends(std::string_view text, size_t pos)
{
    return pos < text.size() &&
           (text[pos] == '>' || text[pos] == '/' || std::isspace(static_cast<unsigned char>(text[pos])));
}

// The end of a comment, CDATA section or processing instruction starting at
// `pos`, or `pos` itself when none starts there.
size_t guard_xml_skip(std::string_view text, size_t pos)
{
    static const char* const kinds[][2] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
    for (const auto& kind : kinds)
        if (guard_at(text, pos, kind[0])) {
            size_t end = text.find(kind[1], pos + std::strlen(kind[0]));
            return end == std::string::npos ? text.size() : end + std::strlen(kind[1]);
        }
    return pos;
}

// One <p> element from the '<' at `pos`: its text holds only what assimp's
// index loop steps over (digits, signs, spaces, tabs, line ends), then its end
// tag. Returns where the scan goes on.
size_t guard_collada_p(std::string_view text, size_t pos, const std::string& source)
{
    size_t close = text.find('>', pos);
    if (close == std::string::npos || text[close - 1] == '/')
        return close == std::string::npos ? text.size() : close + 1;
    size_t end = text.find_first_not_of("0123456789+- \t\r\n", close + 1);
    if (end == std::string::npos || !guard_at(text, end, "</p") || !guard_name_ends(text, end + 3))
        fatal_raise(source + ": the Collada index list (<p>) at byte " + std::to_string(pos) +
                    " holds something other than numbers");
    return end;
}

// Collada: assimp's reader takes the numbers of a <p> index list in a loop
// that stops only at the end of the text, and a character that is neither a
// digit nor a space stops it from moving on, so it appends zeros until the
// address space is full (a 4 KiB file took 70 s). The whole file is scanned
// for <p> elements as the XML parser sees them (comments, CDATA sections and
// processing instructions outside them skipped); a zipped Collada file
// (.zae) and a file holding a NUL byte (UTF-16 or worse, which a byte scan
// does not see through) are refused outright.
void guard_collada(const uint8_t* head, size_t size, uint64_t file_size, const std::string& source)
{
    if (size < file_size)
        fatal_raise(source + ": the Collada check was given part of the file");
    std::string_view text(reinterpret_cast<const char*>(head), size);
    if (guard_at(text, 0, "PK\x03\x04"))
        fatal_raise(source + ": a zipped Collada file (.zae) is not read; import the .dae inside it");
    if (text.find('\0') != std::string::npos)
        fatal_raise(source + ": the Collada file holds a NUL byte; kestrel import reads Collada files in UTF-8");
    for (size_t pos = text.find('<'); pos != std::string::npos; pos = text.find('<', pos)) {
        size_t skip = guard_xml_skip(text, pos);
        if (skip != pos)
            pos = skip;
        else if (guard_at(text, pos, "<p") && guard_name_ends(text, pos + 2))
            pos = guard_collada_p(text, pos, source);
        else
            ++pos;
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

void kst_import_readers(Assimp::Importer& importer, const std::string& ext)
{
    const std::string want = guard_bare_ext(ext);
    for (size_t i = importer.GetImporterCount(); i-- > 0;) {
        if (guard_reader_reads(importer.GetImporterInfo(i), want))
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
    const std::string given = guard_bare_ext(ext);
    if (!guard_format_allowed(given))
        fatal_raise(source + ": not a format kestrel import reads (" +
                    (given.empty() ? std::string("no extension") : "." + given) +
                    "); it reads glTF (.gltf, .glb), FBX, Collada (.dae), OBJ, 3DS, STL and PLY files");
    if (given == "ply")
        guard_ply(head, head_size, file_size, source);
    if (given == "dae")
        guard_collada(head, head_size, file_size, source);
}

uint64_t kst_import_guard_span(const std::string& ext)
{
    return guard_bare_ext(ext) == "dae" ? std::numeric_limits<uint64_t>::max() : 65536;
}
