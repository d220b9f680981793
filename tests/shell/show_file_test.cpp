// The show file reader: the default show.toml that qiv-mkdata writes reads
// back as the built-in score, field for field and bit for bit; a small show
// in beats; and every refusal names the file, the line and the key, and
// leaves the score that was playing in place.
#include <gtest/gtest.h>

#include <cstring>

#include "generated_data.h"
#include "process.h"
#include "shell/score.h"
#include "shell/show_file.h"
#include "support/error.h"

namespace {

// A data folder with the files the small shows below name.
std::string stub_dir()
{
    static std::string dir;
    if (dir.empty()) {
        dir = test_temp_dir("show-file");
        for (const char* f : {"a.kst", "b.kst", "l.ife", "m.ife", "n.ife"})
            write_file(dir + "/" + f, "x");
    }
    return dir;
}

const std::string SMALL = R"(length = 10000
loading = "l"

[[scenes]]
name = "a"
particles = 10

[[segments]]
name = "one"
start = 0
end = 5000
steps = ["clear", { scene = "a", rate = 25 }, { particles = "a", rate = 25 }]

[[segments]]
name = "two"
start = 5000
end = 10000
steps = [{ layers = "m", rate = 10 }]
)";

// The message a show text is refused with, or "" when it reads.
std::string refusal(const std::string& text, const std::string& dir = stub_dir())
{
    show_score score;
    try {
        show_file_parse(text, "data/show.toml", dir, score);
    } catch (const fatal_error& e) {
        return e.what();
    }
    return "";
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

bool same_bits(long double a, long double b)
{
    return std::memcmp(&a, &b, 10) == 0;  // the 80 bits of the x87 format
}

void expect_same_step(const score_step& a, const score_step& b, const std::string& where)
{
    EXPECT_EQ(a.kind, b.kind) << where;
    EXPECT_EQ(a.target, b.target) << where;
    EXPECT_EQ(a.fixed, b.fixed) << where;
    if (a.fixed) {
        EXPECT_EQ(a.frame, b.frame) << where;
    } else if (a.kind == SCORE_LAYERS || a.kind == SCORE_SCENE || a.kind == SCORE_PARTICLES) {
        EXPECT_TRUE(same_bits(a.rate, b.rate)) << where;
    }
    EXPECT_EQ(a.wrap, b.wrap) << where;
    if (a.kind == SCORE_SPIN) {
        EXPECT_EQ(a.objects, b.objects) << where;
        EXPECT_TRUE(same_bits(a.spin_x, b.spin_x) && same_bits(a.spin_y, b.spin_y) &&
                    same_bits(a.growth, b.growth)) << where;
    }
}

}  // namespace

TEST(ShowFile, DefaultFileReadsAsTheBuiltInScore)
{
    show_score file;
    std::string dir = generated_data_dir();
    show_file_parse(read_file(dir + "/show.toml"), dir + "/show.toml", dir, file);
    const show_score& code = score_builtin();
    EXPECT_EQ(file.music, code.music);
    EXPECT_EQ(file.length, code.length);
    EXPECT_EQ(file.layer_sets, code.layer_sets);
    ASSERT_EQ(file.scenes.size(), code.scenes.size());
    for (size_t i = 0; i < code.scenes.size(); ++i) {
        EXPECT_EQ(file.scenes[i].stem, code.scenes[i].stem);
        EXPECT_EQ(file.scenes[i].textures, code.scenes[i].textures) << code.scenes[i].stem;
        EXPECT_EQ(file.scenes[i].particles, code.scenes[i].particles) << code.scenes[i].stem;
    }
    ASSERT_EQ(file.segments.size(), code.segments.size());
    for (size_t s = 0; s < code.segments.size(); ++s) {
        const score_segment &a = file.segments[s], &b = code.segments[s];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.start, b.start);
        EXPECT_EQ(a.end, b.end);
        EXPECT_EQ(a.includes_start, b.includes_start) << b.name;
        EXPECT_TRUE(same_bits(a.weight, b.weight)) << b.name << ": the weight must be 82.38L, not 82.38";
        ASSERT_EQ(a.steps.size(), b.steps.size()) << b.name;
        for (size_t i = 0; i < b.steps.size(); ++i)
            expect_same_step(a.steps[i], b.steps[i], b.name + " step " + std::to_string(i + 1));
    }
    ASSERT_EQ(file.closing.size(), 1u);
    EXPECT_EQ(file.closing[0].layers, code.closing[0].layers);
    EXPECT_TRUE(same_bits(file.closing[0].rate, code.closing[0].rate));
    EXPECT_EQ(score_loading_steps(file), 27);
}

TEST(ShowFile, SmallShowInMillisecondsAndInBeats)
{
    show_score score;
    show_file_parse(SMALL, "show.toml", stub_dir(), score);
    EXPECT_EQ(score.layer_sets, (std::vector<std::string>{"l", "m"}));  // loading first, then first use
    ASSERT_EQ(score.scenes.size(), 1u);
    EXPECT_TRUE(score.scenes[0].textures);  // bound unless the entry says not
    EXPECT_EQ(score.music, "music.ogg");
    ASSERT_EQ(score.segments.size(), 2u);
    EXPECT_EQ(score.segments[1].steps[0].line, 18);
    EXPECT_EQ(score.segments[0].weight, 0.0L);  // not counted by -bmark
    EXPECT_EQ(score_load_operations(score), 5);  // l, m, a, a's textures, a's pool
    EXPECT_EQ(score_loading_steps(score), 3);

    // At 120 beats per minute a beat is 500 ms; rates stay in ms.
    std::string beats = "bpm = 120\n" + replaced(replaced(replaced(replaced(SMALL, "length = 10000", "length = 20"),
                                                                    "end = 5000", "end = 10.5"),
                                                           "start = 5000", "start = 10.5"),
                                                  "end = 10000", "end = 20");
    show_file_parse(beats, "show.toml", stub_dir(), score);
    EXPECT_EQ(score.length, 10000u);
    EXPECT_EQ(score.segments[0].end, 5250u);
    EXPECT_EQ(score.segments[1].start, 5250u);
    EXPECT_EQ(score.segments[0].steps[1].rate, 25.0L);
}

TEST(ShowFile, EveryRefusalNamesFileLineAndKey)
{
    ASSERT_EQ(refusal(SMALL), "");
    EXPECT_EQ(refusal(replaced(SMALL, "name = \"one\"", "name = \"Caf\u00e9 \u2014 one\" # \u00a7 ok")), "");
    struct { std::string text, message; } cases[] = {
        // unknown keys, with the nearest known one
        {replaced(SMALL, "length", "lenght"),
         "data/show.toml:1: lenght: unknown key; did you mean \"length\"?"},
        {replaced(SMALL, "{ scene = \"a\", rate = 25 }", "{ scene = \"a\", rat = 25 }"),
         "data/show.toml:12: segments[1].steps[2].rat: unknown key; did you mean \"rate\"?"},
        {replaced(SMALL, "particles = 10", "particle = 10"),
         "data/show.toml:6: scenes[1].particle: unknown key; did you mean \"particles\"?"},
        {replaced(SMALL, "\"clear\"", "\"claer\""),
         "data/show.toml:12: segments[1].steps[1]: unknown step \"claer\"; did you mean \"clear\"?"},
        // wrong types
        {replaced(SMALL, "end = 5000", "end = \"5000\""),
         "data/show.toml:11: segments[1].end: must be a number, not a text"},
        {replaced(SMALL, "loading = \"l\"", "loading = 3"), "data/show.toml:2: loading: must be a text, not an integer"},
        {replaced(SMALL, "[[segments]]\nname = \"two\"", "[segments.x]\nname = \"two\""),
         "data/show.toml:14: segments[1].x: unknown key"},
        // TOML syntax
        {replaced(SMALL, "start = 0", "start = = 0"), "data/show.toml:10: not valid TOML"},
        // characters toml++ 3.3 must not meet (it reaches undefined behaviour on them)
        {replaced(SMALL, "end = 5000", "end = 5000\xcc\x8b"),
         "data/show.toml:11: not valid TOML: a character beyond ASCII outside a string or comment"},
        // a quote glued to a value opens no string: toml++ is still reading the value
        {replaced(SMALL, "end = 5000", "end = 5000\"\xc4\xba\""),
         "data/show.toml:11: not valid TOML: a character beyond ASCII outside a string or comment"},
        {replaced(SMALL, "name = \"one\"", "name = \"\"\"\\\n\xc2\xa7\"\"\""),
         "data/show.toml:10: not valid TOML here: a character beyond ASCII after a line-ending backslash"},
        // overlapping segments
        {replaced(SMALL, "start = 5000", "start = 4000"),
         "data/show.toml:16: segments[2].start: overlaps segments[1] \"one\" (0 to 5000 ms)"},
        // missing files
        {replaced(SMALL, "scene = \"a\"", "scene = \"nothere\""),
         stub_dir() + "/nothere.kst: missing; data/show.toml:12: segments[1].steps[2].scene names it"},
        {replaced(SMALL, "layers = \"m\"", "layers = \"gone\""),
         stub_dir() + "/gone.ife: missing; data/show.toml:18: segments[2].steps[1].layers names it"},
        {replaced(SMALL, "layers = \"m\"", "layers = \"m.ife\""), "give the file stem without .ife (\"m\")"},
        // rates of 0
        {replaced(SMALL, "{ layers = \"m\", rate = 10 }", "{ layers = \"m\", rate = 0 }"),
         "data/show.toml:18: segments[2].steps[1].rate: a rate must be more than 0"},
        {replaced(SMALL, "rate = 25 }, {", "rate = 0.0 }, {"), "segments[1].steps[2].rate: a rate must be more than 0"},
        {replaced(SMALL, "rate = 25 }, {", "rate = 1e-4 }, {"), "rate: a rate must be 0.001 to 1000000000 ms"},
        {replaced(SMALL, "rate = 10", "frame = -1"), "segments[2].steps[1].frame: a fixed frame is 0 to 1000000000"},
        // effects
        {replaced(SMALL, "\"clear\",", "{ effect = \"spinn\", scene = \"a\" },"),
         "data/show.toml:12: segments[1].steps[1].effect: unknown effect \"spinn\"; did you mean \"spin\"?"},
        {replaced(SMALL, "\"clear\",", "{ effect = \"spin\", scene = \"a\", speed = 2 },"),
         "data/show.toml:12: segments[1].steps[1].speed: the effect spin has no parameter \"speed\""},
        // particles of a scene without a pool
        {replaced(SMALL, "particles = 10\n", ""), "segments[1].steps[3].particles: scene \"a\" has no particle pool"},
        // required keys, empty segments, the show's length
        {replaced(SMALL, "length = 10000\n", ""), "length: is missing"},
        {replaced(SMALL, "end = 10000", "end = 5000"), "data/show.toml:17: segments[2].end: the segment is empty"},
        {replaced(SMALL, "end = 10000", "end = 10001"), "segments[2].end: the segment ends after the show's length"},
        {replaced(SMALL, "steps = [{ layers", "steps = [{ layers = \"n\", scene"), "a step does one thing"},
    };
    for (const auto& c : cases) {
        std::string message = refusal(c.text);
        EXPECT_NE(message.find(c.message), std::string::npos) << "got: " << message << "\nwanted: " << c.message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;  // one line
    }

    // More scenes or layer sets than qiv holds (no data folder: no file checks).
    std::string scenes = SMALL;
    for (int i = 0; i < SCORE_MAX_SCENES; ++i)
        scenes += "\n[[scenes]]\nname = \"s" + std::to_string(i) + "\"\n";
    EXPECT_NE(refusal(scenes, "").find("scenes[33].name: more than 32 scenes; qiv holds 32"), std::string::npos)
        << refusal(scenes, "");
    std::string layers = "layers = [";
    for (int i = 0; i < SCORE_MAX_LAYER_SETS; ++i)
        layers += "\"x" + std::to_string(i) + "\", ";
    std::string many = replaced(SMALL, "loading = \"l\"", "loading = \"l\"\n" + layers + "]");
    EXPECT_NE(refusal(many, "").find("data/show.toml:3: layers[64]: more than 64 layer sets"), std::string::npos)
        << refusal(many, "");
}

TEST(ShowFile, ARefusedFileLeavesTheScorePlaying)
{
    std::string dir = stub_dir();
    EXPECT_FALSE(show_file_load(test_temp_dir("no-show")));  // no file: the built-in score
    EXPECT_EQ(SHOW.segments.size(), 6u);
    write_file(dir + "/show.toml", replaced(SMALL, "rate = 10", "rate = 0"));
    EXPECT_THROW(show_file_load(dir), fatal_error);
    EXPECT_EQ(SHOW.segments.size(), 6u);
    EXPECT_EQ(SHOW.length, 131500u);
    write_file(dir + "/show.toml", SMALL);
    EXPECT_TRUE(show_file_load(dir));
    EXPECT_EQ(SHOW.segments.size(), 2u);
    EXPECT_EQ(SHOW.source, dir + "/show.toml");
    SHOW = score_builtin();
}
