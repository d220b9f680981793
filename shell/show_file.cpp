// shell/show_file.cpp - the show file reader (see show_file.h).
//
// toml++ parses the text into a tree whose every key and value knows its line;
// the reader then walks the tree once, checking each table's keys against the
// keys it may hold before reading any of them, so the first fault met is the
// one reported. Scenes and layer sets get their slots in load order: the
// loading screen's layer set first, then the `layers` list and the
// `[[scenes]]` entries, then whatever the steps name, in the order the file
// first names them; each file is loaded once however often it is named.
//
// toml++ 3.3 asks whether a character is whitespace with a table that has
// holes: for most characters from U+00A1 to U+0499 and from U+2D4E to U+3147
// it reaches a point the compiler was told is unreachable (undefined
// behaviour, found by the fuzz target; fixed upstream after 3.3). It asks
// only outside strings and comments, and after a backslash in a string. TOML allows no character
// beyond ASCII outside strings and comments anyway, so the reader refuses
// such text itself before toml++ sees it (show_guard_text), as it refuses
// a backslash before a non-ASCII character (never a valid escape; after a
// line-ending backslash, the next line must start in ASCII).
//
// Rates and weights are read back from the file's own text in long double
// (toml++ holds floats as double), so 82.38 in the file is the 82.38L of the
// built-in score to the last bit; where the text cannot be read back the
// double is used. With `bpm` set, the times (length, start, end) are beats,
// turned into whole milliseconds (rounded to the nearest); rates stay in ms.
#include "shell/show_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "support/error.h"

// --- internal types -------------------------------------------------------------
namespace {

struct show_reader {
    std::string                   name;      // the file, as messages name it
    std::string                   data_dir;  // "" : no file checks
    std::vector<std::string_view> lines;     // the text, for reading numbers back
    double                        bpm = 0;
    show_score                    score;
    std::map<std::string, int>    layer_slots, scene_slots;
};

using show_keys = std::initializer_list<const char*>;

constexpr long double SHOW_MIN_RATE  = 0.001L;         // ms per frame, and the least weight
constexpr long double SHOW_MAX_RATE  = 1000000000.0L;
constexpr long double SHOW_MAX_FRAME = 1000000000.0L;

const show_keys SHOW_TOP_KEYS = {"music", "length", "bpm", "loading", "layers", "scenes", "segments", "closing"};
const show_keys SHOW_SCENE_KEYS = {"name", "textures", "particles"};
const show_keys SHOW_SEGMENT_KEYS = {"name", "start", "end", "include_start", "weight", "steps"};
const show_keys SHOW_CLOSING_KEYS = {"layers", "rate"};
const show_keys SHOW_PLAIN_STEPS = {"clear", "clear_depth", "reset", "starfield"};
const show_keys SHOW_STEP_KEYS = {"layers", "scene", "particles", "effect", "rate", "frame", "wrap",
                                  "objects", "x", "y", "growth"};
const show_keys SHOW_LAYERS_KEYS = {"layers", "rate", "frame"};
const show_keys SHOW_SCENE_STEP_KEYS = {"scene", "rate", "wrap"};
const show_keys SHOW_PARTICLES_KEYS = {"particles", "rate"};
const show_keys SHOW_EFFECTS = {"spin"};
const show_keys SHOW_SPIN_KEYS = {"effect", "scene", "objects", "x", "y", "growth"};

}  // namespace

// --- internal helpers: messages -------------------------------------------------
static int show_line(const toml::node& node)
{
    return static_cast<int>(node.source().begin.line);
}

[[noreturn]] static void show_fail(const show_reader& r, int line, const std::string& key, const std::string& what)
{
    std::string where = r.name + (line > 0 ? ":" + std::to_string(line) : std::string());
    fatal_raise(where + ": " + (key.empty() ? std::string() : key + ": ") + what);
}

static size_t show_distance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            size_t change = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, change});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "; did you mean "X"?" with the known word nearest to `word`.
static std::string show_suggest(std::string_view word, show_keys known)
{
    const char* best = nullptr;
    size_t best_distance = SIZE_MAX;
    for (const char* k : known) {
        size_t d = show_distance(word, k);
        if (d < best_distance) {
            best = k;
            best_distance = d;
        }
    }
    return best ? std::string("; did you mean \"") + best + "\"?" : std::string();
}

static bool show_known(std::string_view word, show_keys known)
{
    for (const char* k : known)
        if (word == k)
            return true;
    return false;
}

static std::string show_type_name(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a text";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a float";
    case toml::node_type::boolean: return "a boolean";
    default: return "a date or time";
    }
}

[[noreturn]] static void show_wrong_type(const show_reader& r, const toml::node& node, const std::string& key,
                                         const std::string& wanted)
{
    show_fail(r, show_line(node), key, "must be " + wanted + ", not " + show_type_name(node));
}

// Every key of the table must be one of `known`.
static void show_check_keys(const show_reader& r, const toml::table& table, const std::string& path,
                            show_keys known)
{
    for (const auto& [key, value] : table) {
        if (show_known(key.str(), known))
            continue;
        int line = static_cast<int>(key.source().begin.line);
        show_fail(r, line > 0 ? line : show_line(value), path + std::string(key.str()),
                  "unknown key" + show_suggest(key.str(), known));
    }
}

// --- internal helpers: values ---------------------------------------------------
static std::string show_text(const show_reader& r, const toml::node& node, const std::string& key)
{
    if (!node.is_string())
        show_wrong_type(r, node, key, "a text");
    return **node.as_string();
}

static bool show_bool(const show_reader& r, const toml::node& node, const std::string& key)
{
    if (!node.is_boolean())
        show_wrong_type(r, node, key, "true or false");
    return **node.as_boolean();
}

static int64_t show_integer(const show_reader& r, const toml::node& node, const std::string& key)
{
    if (!node.is_integer())
        show_wrong_type(r, node, key, "an integer");
    return **node.as_integer();
}

// The number as the file writes it, in long double when its text reads back
// to the same double (see the file's head).
static long double show_precise(const show_reader& r, const toml::node& node, double value)
{
    toml::source_position at = node.source().begin;
    if (at.line == 0 || at.line > r.lines.size() || at.column == 0)
        return value;
    std::string_view line = r.lines[at.line - 1];
    std::string token;
    for (size_t i = at.column - 1; i < line.size(); ++i) {
        char c = line[i];
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E')
            token += c;
        else if (c != '_')
            break;
    }
    if (token.empty())
        return value;
    char* end = nullptr;
    long double precise = std::strtold(token.c_str(), &end);
    if (*end != '\0' || static_cast<double>(precise) != value)
        return value;
    return precise;
}

// An integer or a float, finite.
static long double show_number(const show_reader& r, const toml::node& node, const std::string& key)
{
    if (node.is_integer())
        return static_cast<long double>(**node.as_integer());
    if (!node.is_floating_point())
        show_wrong_type(r, node, key, "a number");
    double value = **node.as_floating_point();
    if (!std::isfinite(value))
        show_fail(r, show_line(node), key, "must be a finite number");
    return show_precise(r, node, value);
}

// A time of the show: ms, or beats when the file sets bpm.
static uint32_t show_time(const show_reader& r, const toml::node& node, const std::string& key)
{
    long double value = show_number(r, node, key);
    if (value < 0)
        show_fail(r, show_line(node), key, "a time must not be negative");
    long double ms = r.bpm > 0 ? value * 60000.0L / static_cast<long double>(r.bpm) : value;
    ms = std::nearbyint(ms);
    if (ms > 4294967295.0L)
        show_fail(r, show_line(node), key, "is too far into the show (at most 4294967295 ms)");
    return static_cast<uint32_t>(ms);
}

// A rate: ms of show time per animation frame, more than 0. Below 1/1000 ms
// per frame the frame numbers of a long show would leave the float range the
// animation code reads.
static long double show_rate(const show_reader& r, const toml::node& node, const std::string& key)
{
    long double rate = show_number(r, node, key);
    if (!(rate > 0))
        show_fail(r, show_line(node), key, "a rate must be more than 0 (ms per animation frame)");
    if (rate < SHOW_MIN_RATE || rate > SHOW_MAX_RATE)
        show_fail(r, show_line(node), key, "a rate must be 0.001 to 1000000000 ms per animation frame");
    return rate;
}

static const toml::node& show_required(const show_reader& r, const toml::table& table, const std::string& path,
                                       const char* key)
{
    const toml::node* node = table.get(key);
    if (!node)
        show_fail(r, show_line(table), path + key, "is missing");
    return *node;
}

// --- internal helpers: scenes and layer sets ------------------------------------
// A file stem: a plain name in the data folder, without folder or extension.
static std::string show_stem(const show_reader& r, const toml::node& node, const std::string& key,
                             const char* extension)
{
    std::string stem = show_text(r, node, key);
    if (stem.empty() || stem.find('/') != std::string::npos || stem.find('\\') != std::string::npos)
        show_fail(r, show_line(node), key, "\"" + stem + "\" is not a file stem (a name in the data folder)");
    std::string ext = extension;
    if (stem.size() > ext.size() && stem.compare(stem.size() - ext.size(), ext.size(), ext) == 0)
        show_fail(r, show_line(node), key, "give the file stem without " + ext + " (\"" +
                  stem.substr(0, stem.size() - ext.size()) + "\")");
    if (stem.size() + ext.size() > 255)
        show_fail(r, show_line(node), key, "the file name is longer than 255 characters");
    return stem;
}

static void show_check_file(const show_reader& r, const toml::node& node, const std::string& key,
                            const std::string& file)
{
    if (r.data_dir.empty())
        return;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(r.data_dir + "/" + file, ec))  // named first, as a loader would
        fatal_raise(r.data_dir + "/" + file + ": missing; " + r.name + ":" + std::to_string(show_line(node)) + ": " +
                    key + " names it");
}

static int show_layer_slot(show_reader& r, const toml::node& node, const std::string& key)
{
    std::string stem = show_stem(r, node, key, ".ife");
    auto found = r.layer_slots.find(stem);
    if (found != r.layer_slots.end())
        return found->second;
    if (r.score.layer_sets.size() >= static_cast<size_t>(SCORE_MAX_LAYER_SETS))
        show_fail(r, show_line(node), key, "more than " + std::to_string(SCORE_MAX_LAYER_SETS) +
                  " layer sets; qiv holds " + std::to_string(SCORE_MAX_LAYER_SETS));
    show_check_file(r, node, key, stem + ".ife");
    int slot = static_cast<int>(r.score.layer_sets.size());
    r.score.layer_sets.push_back(stem);
    r.layer_slots[stem] = slot;
    return slot;
}

static int show_scene_slot(show_reader& r, const toml::node& node, const std::string& key)
{
    std::string stem = show_stem(r, node, key, ".kst");
    auto found = r.scene_slots.find(stem);
    if (found != r.scene_slots.end())
        return found->second;
    if (r.score.scenes.size() >= static_cast<size_t>(SCORE_MAX_SCENES))
        show_fail(r, show_line(node), key, "more than " + std::to_string(SCORE_MAX_SCENES) +
                  " scenes; qiv holds " + std::to_string(SCORE_MAX_SCENES));
    show_check_file(r, node, key, stem + ".kst");
    int slot = static_cast<int>(r.score.scenes.size());
    r.score.scenes.push_back({stem, true, 0});
    r.scene_slots[stem] = slot;
    return slot;
}

// --- internal helpers: the tables -------------------------------------------------
static const toml::array& show_array(const show_reader& r, const toml::node& node, const std::string& key,
                                     const std::string& wanted)
{
    if (!node.is_array())
        show_wrong_type(r, node, key, wanted);
    return *node.as_array();
}

static const toml::table& show_table(const show_reader& r, const toml::node& node, const std::string& key,
                                     const std::string& wanted)
{
    if (!node.is_table())
        show_wrong_type(r, node, key, wanted);
    return *node.as_table();
}

static std::string show_index(const std::string& key, size_t i)
{
    return key + "[" + std::to_string(i + 1) + "]";
}

static void show_read_scene_entry(show_reader& r, const toml::table& t, const std::string& path)
{
    show_check_keys(r, t, path + ".", SHOW_SCENE_KEYS);
    const toml::node& name = show_required(r, t, path + ".", "name");
    std::string stem = show_stem(r, name, path + ".name", ".kst");
    if (r.scene_slots.count(stem))
        show_fail(r, show_line(name), path + ".name", "scene \"" + stem + "\" is listed twice");
    score_scene& scene = r.score.scenes[static_cast<size_t>(show_scene_slot(r, name, path + ".name"))];
    if (const toml::node* n = t.get("textures"))
        scene.textures = show_bool(r, *n, path + ".textures");
    if (const toml::node* n = t.get("particles")) {
        int64_t count = show_integer(r, *n, path + ".particles");
        if (count < 0 || count > 1000000)
            show_fail(r, show_line(*n), path + ".particles", "a particle pool holds 0 to 1000000 particles");
        scene.particles = static_cast<int32_t>(count);
    }
}

static void show_read_plain_step(show_reader& r, const toml::node& node, const std::string& path, score_step& step)
{
    std::string word = show_text(r, node, path);
    if (word == "clear")
        step.kind = SCORE_CLEAR;
    else if (word == "clear_depth")
        step.kind = SCORE_CLEAR_DEPTH;
    else if (word == "reset")
        step.kind = SCORE_RESET;
    else if (word == "starfield")
        step.kind = SCORE_STARFIELD;
    else
        show_fail(r, show_line(node), path, "unknown step \"" + word + "\"" + show_suggest(word, SHOW_PLAIN_STEPS));
}

static void show_read_spin(show_reader& r, const toml::table& t, const std::string& path, score_step& step)
{
    for (const auto& [key, value] : t)
        if (!show_known(key.str(), SHOW_SPIN_KEYS))
            show_fail(r, show_line(value), path + "." + std::string(key.str()),
                      "the effect spin has no parameter \"" + std::string(key.str()) + "\"" +
                          show_suggest(key.str(), SHOW_SPIN_KEYS));
    step.kind = SCORE_SPIN;
    step.target = show_scene_slot(r, show_required(r, t, path + ".", "scene"), path + ".scene");
    if (const toml::node* n = t.get("objects")) {
        int64_t objects = show_integer(r, *n, path + ".objects");
        if (objects < 0 || objects > 1000000)
            show_fail(r, show_line(*n), path + ".objects", "must be 0 to 1000000");
        step.objects = static_cast<int32_t>(objects);
    }
    for (auto [key, field] : {std::pair{"x", &step.spin_x}, std::pair{"y", &step.spin_y}})
        if (const toml::node* n = t.get(key)) {
            *field = show_number(r, *n, path + "." + key);
            if (std::fabs(*field) < SHOW_MIN_RATE)
                show_fail(r, show_line(*n), path + "." + key, "must be 0.001 ms per degree or more, "
                          "either way round");
        }
    if (const toml::node* n = t.get("growth")) {
        step.growth = show_number(r, *n, path + ".growth");
        if (std::fabs(step.growth) > 1000)
            show_fail(r, show_line(*n), path + ".growth", "must be -1000 to 1000");
    }
}

static void show_read_effect(show_reader& r, const toml::table& t, const std::string& path, score_step& step)
{
    const toml::node& effect = show_required(r, t, path + ".", "effect");
    std::string name = show_text(r, effect, path + ".effect");
    if (name == "spin")
        show_read_spin(r, t, path, step);
    else
        show_fail(r, show_line(effect), path + ".effect",
                  "unknown effect \"" + name + "\"" + show_suggest(name, SHOW_EFFECTS));
}

static void show_read_layers_step(show_reader& r, const toml::table& t, const std::string& path, score_step& step)
{
    show_check_keys(r, t, path + ".", SHOW_LAYERS_KEYS);
    step.kind = SCORE_LAYERS;
    step.target = show_layer_slot(r, *t.get("layers"), path + ".layers");
    const toml::node* rate = t.get("rate");
    const toml::node* frame = t.get("frame");
    if (rate && frame)
        show_fail(r, show_line(*frame), path + ".frame", "a layer step has a rate or a fixed frame, not both");
    if (!rate && !frame)
        show_fail(r, show_line(t), path, "a layer step needs a rate or a fixed frame");
    if (rate)
        step.rate = show_rate(r, *rate, path + ".rate");
    else {
        step.fixed = true;
        long double at = show_number(r, *frame, path + ".frame");
        if (at < 0 || at > SHOW_MAX_FRAME)
            show_fail(r, show_line(*frame), path + ".frame", "a fixed frame is 0 to 1000000000");
        step.frame = static_cast<float>(at);
    }
}

static void show_read_scene_step(show_reader& r, const toml::table& t, const std::string& path, score_step& step)
{
    show_check_keys(r, t, path + ".", SHOW_SCENE_STEP_KEYS);
    step.kind = SCORE_SCENE;
    step.target = show_scene_slot(r, *t.get("scene"), path + ".scene");
    step.rate = show_rate(r, show_required(r, t, path + ".", "rate"), path + ".rate");
    if (const toml::node* n = t.get("wrap")) {
        int64_t wrap = show_integer(r, *n, path + ".wrap");
        if (wrap <= 0 || wrap > 1000000000)
            show_fail(r, show_line(*n), path + ".wrap", "must be 1 to 1000000000 frames");
        step.wrap = static_cast<int32_t>(wrap);
    }
}

static void show_read_particles_step(show_reader& r, const toml::table& t, const std::string& path,
                                     score_step& step)
{
    show_check_keys(r, t, path + ".", SHOW_PARTICLES_KEYS);
    step.kind = SCORE_PARTICLES;
    const toml::node& scene = *t.get("particles");
    step.target = show_scene_slot(r, scene, path + ".particles");
    step.rate = show_rate(r, show_required(r, t, path + ".", "rate"), path + ".rate");
    const score_scene& s = r.score.scenes[static_cast<size_t>(step.target)];
    if (s.particles <= 0)
        show_fail(r, show_line(scene), path + ".particles",
                  "scene \"" + s.stem + "\" has no particle pool; give it one with particles = N in its "
                  "[[scenes]] entry");
}

static score_step show_read_step(show_reader& r, const toml::node& node, const std::string& path)
{
    score_step step;
    step.line = show_line(node);
    if (node.is_string()) {
        show_read_plain_step(r, node, path, step);
        return step;
    }
    const toml::table& t = show_table(r, node, path, "a step: a text such as \"clear\" or a table such as "
                                                     "{ scene = \"crest\", rate = 25 }");
    if (t.contains("effect")) {
        show_read_effect(r, t, path, step);
        return step;
    }
    int kinds = t.contains("layers") + t.contains("scene") + t.contains("particles");
    if (kinds == 0) {
        show_check_keys(r, t, path + ".", SHOW_STEP_KEYS);
        show_fail(r, show_line(t), path, "a step needs one of layers, scene, particles or effect");
    }
    if (kinds > 1)
        show_fail(r, show_line(t), path, "a step does one thing: give only one of layers, scene and particles");
    if (t.contains("layers"))
        show_read_layers_step(r, t, path, step);
    else if (t.contains("scene"))
        show_read_scene_step(r, t, path, step);
    else
        show_read_particles_step(r, t, path, step);
    return step;
}

static void show_read_segment(show_reader& r, const toml::table& t, const std::string& path, size_t index)
{
    show_check_keys(r, t, path + ".", SHOW_SEGMENT_KEYS);
    score_segment seg;
    seg.name = "segment " + std::to_string(index + 1);
    if (const toml::node* n = t.get("name"))
        seg.name = show_text(r, *n, path + ".name");
    const toml::node& start = show_required(r, t, path + ".", "start");
    const toml::node& end = show_required(r, t, path + ".", "end");
    seg.start = show_time(r, start, path + ".start");
    seg.end = show_time(r, end, path + ".end");
    if (const toml::node* n = t.get("include_start"))
        seg.includes_start = show_bool(r, *n, path + ".include_start");
    uint64_t first = uint64_t(seg.start) + (seg.includes_start ? 0 : 1);
    if (seg.end <= first)
        show_fail(r, show_line(end), path + ".end", "the segment is empty: end must come after start");
    if (seg.end > r.score.length)
        show_fail(r, show_line(end), path + ".end", "the segment ends after the show's length (" +
                  std::to_string(r.score.length) + " ms)");
    if (const toml::node* n = t.get("weight")) {
        seg.weight = show_number(r, *n, path + ".weight");
        if (!(seg.weight >= SHOW_MIN_RATE))
            show_fail(r, show_line(*n), path + ".weight", "must be 0.001 or more (frames per -bmark point)");
    }
    const toml::array& steps = show_array(r, show_required(r, t, path + ".", "steps"), path + ".steps",
                                          "an array of steps");
    for (size_t i = 0; i < steps.size(); ++i)
        seg.steps.push_back(show_read_step(r, *steps.get(i), show_index(path + ".steps", i)));
    r.score.segments.push_back(std::move(seg));
}

// Segment b (read after a) may share no millisecond with a.
static void show_check_overlap(const show_reader& r, const toml::array& tables, size_t a, size_t b)
{
    const score_segment& x = r.score.segments[a];
    const score_segment& y = r.score.segments[b];
    uint64_t x_first = uint64_t(x.start) + (x.includes_start ? 0 : 1);
    uint64_t y_first = uint64_t(y.start) + (y.includes_start ? 0 : 1);
    if (std::max(x_first, y_first) >= std::min<uint64_t>(x.end, y.end))
        return;
    const toml::table& t = *tables.get(b)->as_table();
    show_fail(r, show_line(*t.get("start")), show_index("segments", b) + ".start",
              "overlaps " + show_index("segments", a) + " \"" + x.name + "\" (" + std::to_string(x.start) + " to " +
                  std::to_string(x.end) + " ms)");
}

static void show_read_segments(show_reader& r, const toml::table& root)
{
    const toml::node& node = show_required(r, root, "", "segments");
    const toml::array& tables = show_array(r, node, "segments", "an array of tables ([[segments]])");
    if (tables.empty())
        show_fail(r, show_line(node), "segments", "a show needs at least one segment");
    for (size_t i = 0; i < tables.size(); ++i) {
        std::string path = show_index("segments", i);
        if (i >= static_cast<size_t>(SCORE_MAX_SEGMENTS))
            show_fail(r, show_line(*tables.get(i)), path, "more than " + std::to_string(SCORE_MAX_SEGMENTS) +
                      " segments; qiv holds " + std::to_string(SCORE_MAX_SEGMENTS));
        show_read_segment(r, show_table(r, *tables.get(i), path, "a table"), path, i);
    }
    for (size_t b = 1; b < tables.size(); ++b)
        for (size_t a = 0; a < b; ++a)
            show_check_overlap(r, tables, a, b);
}

static void show_read_closing(show_reader& r, const toml::table& root)
{
    const toml::node* node = root.get("closing");
    if (!node)
        return;
    const toml::array& list = show_array(r, *node, "closing", "an array of tables such as "
                                                             "[{ layers = \"drumcrash\", rate = 131.5 }]");
    for (size_t i = 0; i < list.size(); ++i) {
        std::string path = show_index("closing", i);
        const toml::table& t = show_table(r, *list.get(i), path, "a table");
        show_check_keys(r, t, path + ".", SHOW_CLOSING_KEYS);
        score_closing closing;
        closing.layers = show_layer_slot(r, show_required(r, t, path + ".", "layers"), path + ".layers");
        closing.rate = show_rate(r, show_required(r, t, path + ".", "rate"), path + ".rate");
        r.score.closing.push_back(closing);
    }
}

static void show_read_lists(show_reader& r, const toml::table& root)
{
    show_layer_slot(r, show_required(r, root, "", "loading"), "loading");
    if (const toml::node* node = root.get("layers")) {
        const toml::array& list = show_array(r, *node, "layers", "an array of layer file stems");
        for (size_t i = 0; i < list.size(); ++i)
            show_layer_slot(r, *list.get(i), show_index("layers", i));
    }
    if (const toml::node* node = root.get("scenes")) {
        const toml::array& list = show_array(r, *node, "scenes", "an array of tables ([[scenes]])");
        for (size_t i = 0; i < list.size(); ++i) {
            std::string path = show_index("scenes", i);
            show_read_scene_entry(r, show_table(r, *list.get(i), path, "a table"), path);
        }
    }
}

static void show_read_root(show_reader& r, const toml::table& root)
{
    show_check_keys(r, root, "", SHOW_TOP_KEYS);
    if (const toml::node* n = root.get("bpm")) {
        long double bpm = show_number(r, *n, "bpm");
        if (!(bpm > 0) || bpm > 100000)
            show_fail(r, show_line(*n), "bpm", "must be more than 0 and at most 100000 beats per minute");
        r.bpm = static_cast<double>(bpm);
        r.score.bpm = r.bpm;
    }
    const toml::node& length = show_required(r, root, "", "length");
    r.score.length = show_time(r, length, "length");
    if (r.score.length == 0)
        show_fail(r, show_line(length), "length", "a show lasts more than 0 ms");
    if (const toml::node* n = root.get("music")) {
        r.score.music = show_text(r, *n, "music");
        if (r.score.music.empty() || r.score.music.find('/') != std::string::npos)
            show_fail(r, show_line(*n), "music", "must name a file in the data folder");
    }
    show_read_lists(r, root);
    show_read_segments(r, root);
    show_read_closing(r, root);
}

// --- internal helpers: the guard before toml++ (see the file's head) -------------
namespace {
enum show_lex { SHOW_LEX_BARE, SHOW_LEX_COMMENT, SHOW_LEX_BASIC, SHOW_LEX_LITERAL, SHOW_LEX_ML_BASIC,
                SHOW_LEX_ML_LITERAL };
}

static bool show_starts(std::string_view text, size_t at, std::string_view with)
{
    return text.substr(at, with.size()) == with;
}

// The line of text[at]: 1 + the newlines before it.
static int show_line_at(std::string_view text, size_t at)
{
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

// After a line-ending backslash in a multi-line basic string: the index of
// the first character that is not whitespace or a line break.
static size_t show_after_line_end(std::string_view text, size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    return at;
}

// Whether a quote after `prev` (the last character outside strings that is
// not a space or tab) can open a string: where TOML has a key or a value.
// Elsewhere (a quote glued to a number, say) toml++ is still reading the
// value before it, asking of every character whether it is whitespace.
static bool show_string_may_open(char prev)
{
    return prev == '\n' || prev == '=' || prev == '[' || prev == ',' || prev == '{' || prev == '.';
}

static void show_guard_text(const show_reader& r, std::string_view text)
{
    show_lex state = SHOW_LEX_BARE;
    char prev = '\n';
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (state) {
        case SHOW_LEX_BARE:
            if (static_cast<unsigned char>(c) >= 0x80)
                show_fail(r, show_line_at(text, i), "", "not valid TOML: a character beyond ASCII outside a "
                          "string or comment");
            if (c == '#') {
                state = SHOW_LEX_COMMENT;
                prev = '\n';  // the comment runs to the line's end
                break;
            }
            if ((c != '"' && c != '\'') || !show_string_may_open(prev)) {
                if (c != ' ' && c != '\t' && c != '\r')
                    prev = c;
                break;
            }
            prev = c;
            if (show_starts(text, i, "\"\"\"")) {
                state = SHOW_LEX_ML_BASIC;
                i += 2;
            } else if (show_starts(text, i, "'''")) {
                state = SHOW_LEX_ML_LITERAL;
                i += 2;
            } else if (c == '"')
                state = SHOW_LEX_BASIC;
            else if (c == '\'')
                state = SHOW_LEX_LITERAL;
            break;
        case SHOW_LEX_COMMENT:
            if (c == '\n')
                state = SHOW_LEX_BARE;
            break;
        case SHOW_LEX_BASIC:
            if (c == '\\' && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80)
                show_fail(r, show_line_at(text, i), "", "not valid TOML: an escape of a character beyond ASCII");
            if (c == '\\')
                ++i;
            else if (c == '"' || c == '\n')
                state = SHOW_LEX_BARE;  // a string broken by a line end is toml++'s to report
            break;
        case SHOW_LEX_LITERAL:
            if (c == '\'' || c == '\n')
                state = SHOW_LEX_BARE;
            break;
        case SHOW_LEX_ML_BASIC:
            if (c == '\\') {
                size_t next = show_after_line_end(text, i + 1);
                if (next < text.size() && static_cast<unsigned char>(text[next]) >= 0x80)
                    show_fail(r, show_line_at(text, next), "", "not valid TOML here: a character beyond ASCII "
                              "after a line-ending backslash");
                ++i;
            } else if (show_starts(text, i, "\"\"\"")) {
                while (i + 3 < text.size() && text[i + 3] == '"')
                    ++i;  // up to two quotes may end the string's content
                i += 2;
                state = SHOW_LEX_BARE;
            }
            break;
        case SHOW_LEX_ML_LITERAL:
            if (show_starts(text, i, "'''")) {
                while (i + 3 < text.size() && text[i + 3] == '\'')
                    ++i;
                i += 2;
                state = SHOW_LEX_BARE;
            }
            break;
        }
    }
}

static std::vector<std::string_view> show_split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        from = end + 1;
    }
    return lines;
}

// --- public functions ---------------------------------------------------------
void show_file_parse(std::string_view text, const std::string& name, const std::string& data_dir,
                     show_score& score)
{
    show_reader r;
    r.name = name;
    r.data_dir = data_dir;
    r.lines = show_split_lines(text);
    show_guard_text(r, text);
    toml::table root;
    try {
        root = toml::parse(text, name);
    } catch (const toml::parse_error& e) {
        show_fail(r, static_cast<int>(e.source().begin.line), "", "not valid TOML: " + std::string(e.description()));
    }
    show_read_root(r, root);
    r.score.source = name;
    score = std::move(r.score);
}

bool show_file_load(const std::string& data_dir)
{
    return show_file_load_into(data_dir, SHOW);
}

bool show_file_load_into(const std::string& data_dir, show_score& target)
{
    std::string path = data_dir + "/" + SHOW_FILE_NAME;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    if (!std::filesystem::is_regular_file(path, ec))
        fatal_raise(path + ": is not a file");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in || in.bad())
        fatal_raise(path + ": cannot be read");
    show_score score;
    show_file_parse(text.str(), path, data_dir, score);
    target = std::move(score);
    return true;
}
