// ife/ife_load.cpp - reading .ife interface files into ife_interface records.
//
// The format is a sequence of value lines: a line whose very first character
// is "#" is a comment, every other line is trimmed of spaces, tabs, CR and LF
// at both ends, and only its first 255 characters count. An empty line is an
// empty value (fine for free text, a conversion error where an integer is
// due). Integers accept a sign and the $, 0x, %, & base prefixes; key lines
// hold eleven numbers separated by single spaces, where anything unreadable is
// 0. Structural faults - a file that ends early, a negative count, more layers
// or keys than a record can hold - are fatal errors naming the file, the line
// and what was expected, so a broken file never yields a half-filled record.
//
// Textures are acquired through the texture manager with linear filtering and
// clamped edges; ife_parse does the same reading without touching GL, for tools.
#include "ife/ife.h"

#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/textures/texture_manager.h"
#include "support/error.h"
#include "support/mem.h"
#include "support/numparse.h"

// --- internal helpers ---------------------------------------------------------
static const char IFE_BLANKS[] = " \t\r\n";

static std::string ife_trim(const std::string& text)
{
    size_t first = text.find_first_not_of(IFE_BLANKS);
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(IFE_BLANKS);
    return text.substr(first, last - first + 1);
}

// One physical line, cut to its first 255 characters; false at the end of the file.
static bool ife_read_raw(ife_reader& reader, std::string& raw)
{
    raw.clear();
    int c = std::fgetc(reader.file);
    if (c == EOF) {
        if (std::ferror(reader.file))
            fatal_raise(reader.filename + ": read error after line " + std::to_string(reader.line));
        return false;
    }
    reader.line += 1;
    for (; c != EOF && c != '\n'; c = std::fgetc(reader.file))
        if (raw.size() < static_cast<size_t>(IFE_TEXT_MAX))
            raw.push_back(static_cast<char>(c));
    if (std::ferror(reader.file))
        fatal_raise(reader.filename + ": read error in line " + std::to_string(reader.line));
    return true;
}

// Converts a value to int64 by rounding half to even; NaN reads 0, the rest saturates.
static int64_t ife_round(float value)
{
    if (std::isnan(value))
        return 0;
    double r = std::nearbyint(static_cast<double>(value));
    if (r >= 9.2e18)
        return INT64_MAX;
    if (r <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(r);
}

static void ife_copy_text(char (&dst)[IFE_TEXT_MAX + 1], const std::string& text)
{
    size_t n = text.size() < static_cast<size_t>(IFE_TEXT_MAX) ? text.size() : IFE_TEXT_MAX;
    std::memcpy(dst, text.data(), n);
    dst[n] = 0;
}

// The next value line; a file that ends here is fatal.
static std::string ife_expect_line(ife_reader& reader, const std::string& what)
{
    std::string line;
    if (!IFE_READLINE(reader, line))
        fatal_raise(reader.filename + ": file ends after line " + std::to_string(reader.line) +
                    "; expected " + what);
    return line;
}

// A line as it may be quoted in a message: bytes outside printable ASCII as
// \xNN, and at most 40 characters of it (a binary file makes one huge line).
static std::string ife_quote(const std::string& line)
{
    std::string out;
    for (size_t i = 0; i < line.size() && i < 40; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
    }
    return line.size() > 40 ? out + "..." : out;
}

// The next value line read as an integer; anything else is fatal.
static int32_t ife_expect_int(ife_reader& reader, const std::string& what)
{
    std::string line = ife_expect_line(reader, what);
    int32_t value = 0;
    if (!numparse_int(line, value))
        fatal_raise(reader.filename + ": line " + std::to_string(reader.line) + ": \"" + ife_quote(line) +
                    "\" is not a valid integer; expected " + what);
    return value;
}

// A count between 0 and limit, or a fatal error.
static int32_t ife_expect_count(ife_reader& reader, const std::string& what, int32_t limit)
{
    int32_t count = ife_expect_int(reader, what);
    if (count < 0 || count > limit)
        fatal_raise(reader.filename + ": line " + std::to_string(reader.line) + ": " + what + " is " +
                    std::to_string(count) + ", out of range; expected 0 to " + std::to_string(limit));
    return count;
}

static void ife_read_key(ife_reader& reader, ife_keys& key, const std::string& what)
{
    std::string line = ife_expect_line(reader, what);
    int64_t frame = ife_round(IFE_VALUE(line, 1));
    int64_t mode = ife_round(IFE_VALUE(line, 4));
    key.frame = static_cast<int32_t>(static_cast<uint32_t>(frame));  // low 32 bits
    key.x = IFE_VALUE(line, 2);
    key.y = IFE_VALUE(line, 3);
    key.mode = static_cast<uint8_t>(mode);                          // low 8 bits
    key.angle = IFE_VALUE(line, 5);
    key.width = IFE_VALUE(line, 6);
    key.height = IFE_VALUE(line, 7);
    key.red = IFE_VALUE(line, 8);
    key.green = IFE_VALUE(line, 9);
    key.blue = IFE_VALUE(line, 10);
    key.alpha = IFE_VALUE(line, 11);
}

static std::string ife_texture_request(const std::string& dir, const char* texturename)
{
    return (dir + "/" + texturename).substr(0, IFE_TEXT_MAX);
}

static uint32_t ife_acquire_texture(const std::string& dir, const char* texturename)
{
    uint32_t texture = TX_LOAD(ife_texture_request(dir, texturename), 1);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    return texture;
}

static void ife_read_layer(ife_reader& reader, ife_layer& layer, int32_t index,
                           const std::string* dir)
{
    std::string of = " of layer " + std::to_string(index + 1);
    ife_copy_text(layer.texturename, ife_expect_line(reader, "the texture name" + of));
    ife_copy_text(layer.info1, ife_expect_line(reader, "the first free-text line" + of));
    layer.texture = dir ? ife_acquire_texture(*dir, layer.texturename) : 0;
    ife_copy_text(layer.info2, ife_expect_line(reader, "the second free-text line" + of));
    layer.keycount = ife_expect_count(reader, "the key count" + of, IFE_MAX_KEYS);
    layer.blend = static_cast<uint8_t>(ife_expect_int(reader, "the blend mode" + of));
    layer.keys = mem_array<ife_keys>(layer.keycount, "Animation keys for interface");
    for (int32_t k = 0; k < layer.keycount; ++k)
        ife_read_key(reader, layer.keys[k],
                     "key " + std::to_string(k + 1) + " of " + std::to_string(layer.keycount) + of);
}

// Reads the file into a fresh record; on a fatal error the partial record is released.
static void ife_read(ife_interface& record, const std::string& filename, const std::string* dir)
{
    ife_reader reader;
    reader.filename = filename;
    reader.file = std::fopen(filename.c_str(), "rb");
    if (!reader.file)
        fatal_raise(filename + ": cannot open the interface file (" + std::strerror(errno) + ")");
    ife_interface loaded{};
    try {
        loaded.layercount = 0;
        int32_t count = ife_expect_count(reader, "the layer count", IFE_MAX_LAYERS);
        loaded.info = ife_expect_int(reader, "the second header value");
        // No layers, no array: IFE_FREE leaves a record without layers alone.
        if (count > 0)
            loaded.layers = mem_array<ife_layer>(count, "Interface layers");
        for (int32_t i = 0; i < count; ++i) {
            loaded.layercount = i + 1;  // IFE_FREE releases what has been read so far
            ife_read_layer(reader, loaded.layers[i], i, dir);
        }
        loaded.layercount = count;
    } catch (...) {
        std::fclose(reader.file);
        IFE_FREE(loaded);
        mem_free_array(loaded.layers);
        throw;
    }
    if (std::fclose(reader.file) != 0)
        fatal_raise(filename + ": cannot close the interface file");
    record = loaded;
}

// --- public functions ---------------------------------------------------------
bool IFE_READLINE(ife_reader& reader, std::string& line)
{
    std::string raw;
    do {
        if (!ife_read_raw(reader, raw))
            return false;
    } while (!raw.empty() && raw[0] == '#');
    line = ife_trim(raw);
    return true;
}

std::string IFE_FIELD(const std::string& line, int32_t n)
{
    if (n < 1)
        return "";
    size_t start = 0;
    for (int32_t i = 1; i < n; ++i) {
        size_t space = line.find(' ', start);
        if (space == std::string::npos)
            return "";
        start = space + 1;
    }
    size_t end = line.find(' ', start);
    return ife_trim(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

float IFE_VALUE(const std::string& line, int32_t n)
{
    return numparse_float_or_zero(IFE_FIELD(line, n));
}

void IFE_LOAD(ife_interface& record, const std::string& filename, const std::string& dir)
{
    ife_read(record, filename, &dir);
}

void ife_parse(ife_interface& record, const std::string& filename)
{
    ife_read(record, filename, nullptr);
}

void IFE_FREE(ife_interface& record)
{
    if (record.layercount <= 0)
        return;
    for (int32_t i = 0; i < record.layercount; ++i) {
        if (record.layers[i].texture != 0)
            TX_RELEASE(record.layers[i].texture);
        mem_free_array(record.layers[i].keys);
    }
    mem_free_array(record.layers);
    record.layercount = 0;
}

std::vector<std::string> ife_texture_names(const ife_interface& record, const std::string& dir)
{
    std::vector<std::string> names;
    for (int32_t i = 0; record.layers && i < record.layercount; ++i) {
        std::string name = ife_texture_request(dir, record.layers[i].texturename);
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}
