// The commands the README and the man pages show, run as a user types them.
//
// The README is read as it stands: every ```sh block of its usage sections,
// and every fenced block of the man pages' EXAMPLES sections, is a list of
// commands (comments and blank lines aside). Each block runs, command after
// command, in a fresh empty folder, so a block may use what its earlier
// commands made, and nothing else; each command is one /bin/sh -c, so shell
// state (cd, variables) does not pass from one line to the next. The built qiv, kestrel and
// qiv-mkdata are on PATH from a private install prefix whose share/qiv/data
// holds a small show, so that a plain `qiv` finds "the installed show" as it
// does after installing the package.
//
// Usage sections are all level-2 sections of the README except those listed in
// doc_skipped_sections, each with the reason (the quick start is the test
// command and the show themselves; Install needs root and apt).
//
// What a command may rely on is written down here:
//   doc_programs      every program a command may start, and how the test runs
//                     it: as it is, in a window under Xvfb ended by Escape
//                     after a second, as a capture (or timedemo) cut to 30
//                     frames with --to (or --frames), or as a build of the engine example
//                     against the installed development package (without one,
//                     against this build's development files installed into
//                     the private prefix, found through CMAKE_PREFIX_PATH and
//                     PKG_CONFIG_PATH);
//   doc_placeholders  the inputs a reader is supposed to have under the name
//                     the text gives them (engine.glb, scene.kst, ...), put in
//                     the folder before the block runs;
//   doc_installed_data the one path outside the folder, the installed show's
//                     data, pointed at the private prefix's unless the block
//                     builds the example against the real installed package.
// A command whose program is in no table fails the test with a message saying
// what to add, and so does any command that does not end with status 0: the
// examples stay runnable as the documents change.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>

#include "demo_data.h"
#include "process.h"
#include "xvfb.h"

namespace fs = std::filesystem;

namespace {

// --- types --------------------------------------------------------------------------
enum class doc_how {
    plain,           // runs to its end by itself
    window,          // a window under Xvfb, ended by Escape
    capture,         // many frames off screen (capture, frame costs, timedemo), cut short
    engine_example,  // builds or runs the engine example against the installed libkestrel-dev
};

struct doc_command {
    std::string              file;     // "README.md", "docs/man/qiv.1.scd"
    int                      line = 0;
    std::string              section;
    std::string              text;     // as written, comment cut off
    std::vector<std::string> words;    // split as the shell would (no expansions)
};

struct doc_block {
    std::string              file;
    int                      line = 0;  // of the opening fence
    std::string              section;
    std::vector<doc_command> commands;
};

struct doc_program {
    const char* name;
    doc_how (*how)(const std::vector<std::string>& args);  // args after the program's name
};

struct doc_placeholder {
    const char* name;     // as the text writes it; "dir/" for a folder
    const char* what;     // what stands in for it
    void (*make)(const std::string& target);
};

struct doc_skipped_section {
    const char* title;
    const char* reason;
};

// --- the tables ---------------------------------------------------------------------
bool doc_has(const std::vector<std::string>& args, const std::string& option)
{
    for (const std::string& a : args)
        if (a == option)
            return true;
    return false;
}

doc_how doc_qiv_how(const std::vector<std::string>& args)
{
    for (const char* o : {"--help", "--version", "--frame"})
        if (doc_has(args, o))
            return doc_how::plain;
    if (doc_has(args, "--capture") || doc_has(args, "--frame-costs") || doc_has(args, "--timedemo"))
        return doc_how::capture;
    return doc_how::window;  // the show itself, --windowed, --start, ...
}

doc_how doc_kestrel_how(const std::vector<std::string>& args)
{
    return !args.empty() && args[0] == "view" ? doc_how::window : doc_how::plain;
}

doc_how doc_plain(const std::vector<std::string>&) { return doc_how::plain; }
doc_how doc_engine_example(const std::vector<std::string>&) { return doc_how::engine_example; }

const doc_program doc_programs[] = {
    {"qiv", doc_qiv_how},
    {"kestrel", doc_kestrel_how},
    {"qiv-mkdata", doc_plain},
    // "Use the engine in your program": the example built against the installed package.
    {"cmake", doc_engine_example},
    {"c++", doc_engine_example},
    {"./build-example/render-scene", doc_engine_example},
    {"./render-scene", doc_engine_example},
};

const char* const doc_engine_model = "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

void doc_copy_model(const std::string& target) { fs::copy_file(doc_engine_model, target); }

void doc_make_scene(const std::string& target)
{
    std::string data = test_temp_dir("readme-scene");
    demo_data_write(data);
    fs::copy_file(data + "/crest.kst", target);
}

void doc_copy_examples(const std::string& target)
{
    fs::copy(std::string(QIV_SOURCE_DIR) + "/examples", target, fs::copy_options::recursive);
}

const doc_placeholder doc_placeholders[] = {
    {"engine.glb", "the assimp test models' 2CylinderEngine.glb", doc_copy_model},
    {"model.glb", "the assimp test models' 2CylinderEngine.glb", doc_copy_model},
    {"scene.kst", "a scene of the small test show", doc_make_scene},
    {"examples/", "the source tree's examples/ folder", doc_copy_examples},
};

const doc_skipped_section doc_skipped_sections[] = {
    {"Quick start", "the test command and the show themselves: ./run test is what CI runs, and ./run demo "
                    "plays the whole show"},
    {"Install", "builds the release packages and installs them as root through apt-get; tests/package "
                "builds, lints and installs the same packages into a private prefix; the Linux archive's "
                "own test (./run release-test) needs root and the Debian mirror; the Windows archive's "
                "programs are tested under Wine by tests/windows"},
    {"Benchmarks and fuzzing", "./run fuzz builds a clang tree and fuzzes each target for ten minutes; the "
                               "corpora run as ordinary tests"},
    {"Make your own show", "one shell script whose commands span lines (cd, here-documents): "
                           "tests/e2e/own_show_e2e_test.cpp runs the block whole, as written"},
};

const char* const doc_installed_data = "/usr/share/qiv/data/";

// How many frames a capture, a --frame-costs run or (per segment) a timedemo
// renders at most.
const long doc_cut_frames = 30;

const char* doc_how_name(doc_how how)
{
    switch (how) {
    case doc_how::window: return "window";
    case doc_how::capture: return "capture";
    case doc_how::engine_example: return "example";
    default: return "plain";
    }
}

// --- reading the documents ----------------------------------------------------------
// Splits a command as the shell would split its words, and cuts a comment
// ("#" starting a word) off the text. Expansions stay as written.
void doc_split(doc_command& c)
{
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (size_t i = 0; i < c.text.size(); ++i) {
        char ch = c.text[i];
        if (quote) {
            if (ch == quote)
                quote = 0;
            else
                word += ch;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
            in_word = true;
        } else if (ch == ' ' || ch == '\t') {
            if (in_word)
                c.words.push_back(word);
            word.clear();
            in_word = false;
        } else if (ch == '#' && !in_word) {
            c.text.resize(i);
            break;
        } else {
            word += ch;
            in_word = true;
        }
    }
    if (in_word)
        c.words.push_back(word);
    while (!c.text.empty() && (c.text.back() == ' ' || c.text.back() == '\t'))
        c.text.pop_back();
}

// The blocks of a file: fences opened by a line that `opens` accepts, in
// sections (headings that start with `heading`) that `wanted` accepts.
std::vector<doc_block> doc_blocks(const std::string& file, const std::string& heading,
                                  const std::regex& opens, bool (*wanted)(const std::string& section))
{
    std::ifstream in(std::string(QIV_SOURCE_DIR) + "/" + file);
    EXPECT_TRUE(in.good()) << file << ": cannot be read";
    std::vector<doc_block> blocks;
    std::string line, section, pending;
    int number = 0, pending_line = 0;
    bool inside = false, taken = false;
    while (std::getline(in, line)) {
        ++number;
        if (!inside && line.rfind(heading, 0) == 0) {
            section = line.substr(heading.size());
            continue;
        }
        if (!inside && line.rfind("```", 0) == 0) {
            inside = true;
            taken = std::regex_match(line, opens) && wanted(section);
            if (taken)
                blocks.push_back({file, number, section, {}});
            continue;
        }
        if (inside && line.rfind("```", 0) == 0) {
            inside = false;
            continue;
        }
        if (!inside || !taken)
            continue;
        if (pending.empty())
            pending_line = number;
        if (!line.empty() && line.back() == '\\') {
            pending += line.substr(0, line.size() - 1) + " ";
            continue;
        }
        doc_command c{file, pending_line, section, pending + line, {}};
        pending.clear();
        doc_split(c);
        if (!c.words.empty())
            blocks.back().commands.push_back(c);
    }
    return blocks;
}

bool doc_readme_usage(const std::string& section)
{
    for (const doc_skipped_section& s : doc_skipped_sections)
        if (section == s.title)
            return false;
    return true;
}

bool doc_man_examples(const std::string& section) { return section == "EXAMPLES"; }

// --- running ------------------------------------------------------------------------
// The private install: bin/ with the built programs (hard links, or copies on
// another file system: qiv finds share/qiv/data from its own path) and the
// small show as the installed data.
struct doc_prefix {
    std::string dir;
    std::string path;   // PATH with bin/ in front
    doc_prefix()
    {
        dir = test_temp_dir("readme-prefix");
        fs::create_directories(dir + "/bin");
        for (const std::string& p : {qiv_path(), kestrel_path(), mkdata_path()}) {
            std::error_code ec;
            fs::create_hard_link(p, dir + "/bin/" + fs::path(p).filename().string(), ec);
            if (ec)
                fs::copy_file(p, dir + "/bin/" + fs::path(p).filename().string());
        }
        demo_data_write(dir + "/share/qiv/data");
        const char* old = std::getenv("PATH");
        path = "PATH=" + dir + "/bin:" + (old ? old : "/usr/bin:/bin");
    }
};

std::string doc_where(const doc_command& c)
{
    return c.file + ":" + std::to_string(c.line) + " (section \"" + c.section + "\"): `" + c.text + "`";
}

const doc_program* doc_find_program(const doc_command& c, size_t& at)
{
    at = 0;
    while (at < c.words.size() && std::regex_match(c.words[at], std::regex("[A-Za-z_][A-Za-z0-9_]*=.*")))
        ++at;  // NAME=value in front of the program
    if (at == c.words.size())
        return nullptr;
    for (const doc_program& p : doc_programs)
        if (c.words[at] == p.name)
            return &p;
    return nullptr;
}

// Quotes a word for /bin/sh when it needs it.
std::string doc_quote(const std::string& w)
{
    if (!w.empty() && std::regex_match(w, std::regex("[A-Za-z0-9_./:=+,@%-]+")))
        return w;
    std::string q = "'";
    for (char ch : w)
        q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// The value of option in words, or "" when it is not there.
std::string doc_option(const std::vector<std::string>& words, const std::string& option)
{
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == option)
            return words[i + 1];
    return "";
}

// Sets option to value in words: replaces its value, or appends both.
void doc_set_option(std::vector<std::string>& words, const std::string& option, const std::string& value)
{
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == option) {
            words[i + 1] = value;
            return;
        }
    words.insert(words.end(), {option, value});
}

// Frames per second as qiv reads them: "25", "59.94" or "60000/1001".
double doc_fps(const std::string& text)
{
    if (text.empty())
        return 30.0;
    size_t slash = text.find('/');
    double fps = slash == std::string::npos ? std::atof(text.c_str())
                                            : std::atof(text.substr(0, slash).c_str()) /
                                                  std::max(1.0, std::atof(text.substr(slash + 1).c_str()));
    return fps > 0 ? fps : 30.0;
}

// A long off-screen run cut short: a capture or --frame-costs run to at most
// doc_cut_frames frames (through --to), a timedemo to doc_cut_frames frames a
// segment (through --frames). A run that is short already stays as written.
std::string doc_cut_capture(const doc_command& c)
{
    std::vector<std::string> words = c.words;
    if (doc_has(words, "--timedemo")) {
        std::string frames = doc_option(words, "--frames");
        if (!frames.empty() && std::atol(frames.c_str()) <= doc_cut_frames)
            return c.text;
        doc_set_option(words, "--frames", std::to_string(doc_cut_frames));
    } else {
        std::string from_text = doc_option(words, "--from"), to_text = doc_option(words, "--to");
        long from = from_text.empty() ? 0 : std::atol(from_text.c_str());
        long to = to_text.empty() ? 131500 : std::atol(to_text.c_str());
        long cut = from + static_cast<long>(std::ceil(doc_cut_frames * 1000.0 / doc_fps(doc_option(words, "--fps"))));
        if (to <= cut)
            return c.text;
        doc_set_option(words, "--to", std::to_string(cut));
    }
    std::string text;
    for (const std::string& w : words)
        text += (text.empty() ? "" : " ") + doc_quote(w);
    return text;
}

std::string doc_rewrite(std::string text, const doc_prefix& prefix)
{
    for (size_t at = text.find(doc_installed_data); at != std::string::npos;
         at = text.find(doc_installed_data, at + 1))
        text.replace(at, std::string(doc_installed_data).size(), prefix.dir + "/share/qiv/data/");
    return text;
}

// Puts every placeholder a block names into its folder.
void doc_provide(const doc_block& b, const std::string& dir)
{
    for (const doc_command& c : b.commands)
        for (size_t i = 1; i < c.words.size(); ++i)
            for (const doc_placeholder& p : doc_placeholders) {
                std::string name = p.name;
                bool folder = name.back() == '/';
                bool named = folder ? c.words[i].rfind(name, 0) == 0 : c.words[i] == name;
                std::string target = dir + "/" + (folder ? name.substr(0, name.size() - 1) : name);
                if (named && !fs::exists(target)) {
                    p.make(target);
                    std::printf("%s:%d: %s is %s\n", c.file.c_str(), c.line, p.name, p.what);
                }
            }
}

bool doc_engine_installed()
{
    return fs::exists("/usr/include/kestrel/kestrel.h") && fs::exists(doc_installed_data);
}

// The environment a block's example programs build in. With the engine's
// development package installed, the block runs as written. Without it, the
// development files of this build are installed into the private prefix, and
// CMAKE_PREFIX_PATH and PKG_CONFIG_PATH point there, as the README's "add
// -DCMAKE_PREFIX_PATH=DIR for another prefix" says; the installed show's data
// is the private prefix's then.
bool doc_example_env(const doc_prefix& prefix, std::vector<std::string>& env, bool& rewrite)
{
    rewrite = !doc_engine_installed();
    if (!rewrite)
        return true;
    program_result r = run_program(QIV_CMAKE_COMMAND, {"--install", QIV_BINARY_DIR, "--component", "dev",
                                                       "--prefix", prefix.dir}, {}, "", 120);
    if (r.status != 0) {
        ADD_FAILURE() << "cmake --install --component dev failed:\n" << r.out << r.err;
        return false;
    }
    env.push_back("CMAKE_PREFIX_PATH=" + prefix.dir);
    env.push_back("PKG_CONFIG_PATH=" + prefix.dir + "/" + QIV_INSTALL_LIBDIR + "/pkgconfig");
    return true;
}

// How the command runs, from its program's entry.
doc_how doc_command_how(const doc_command& c, const doc_program*& program)
{
    size_t at = 0;
    program = doc_find_program(c, at);
    if (!program) {
        ADD_FAILURE() << doc_where(c) << ": the README test does not know the program `"
                      << (at < c.words.size() ? c.words[at] : "") << "`. Add it to doc_programs in "
                      << "tests/e2e/readme_e2e_test.cpp with how it runs (plain, window, capture, "
                      << "engine_example), or, for a README section that is no usage example, the section "
                      << "to doc_skipped_sections with the reason.";
        return doc_how::plain;
    }
    return program->how(std::vector<std::string>(c.words.begin() + at + 1, c.words.end()));
}

// Runs one command of a block in dir, and fails the test when it fails.
void doc_run_command(const doc_command& c, doc_how how, const std::string& dir, std::vector<std::string> env,
                     bool rewrite, const doc_prefix& prefix, std::unique_ptr<xvfb_server>& x)
{
    std::string text = how == doc_how::capture ? doc_cut_capture(c) : c.text;
    if (rewrite)
        text = doc_rewrite(text, prefix);
    program_result r;
    auto start = std::chrono::steady_clock::now();
    if (how == doc_how::window) {
        if (!x)
            x = std::make_unique<xvfb_server>();
        ASSERT_TRUE(x->ok()) << "Xvfb did not start";
        env.push_back("SDL_VIDEODRIVER=x11");
        r = xvfb_run_with_escape(*x, "/bin/sh", {"-c", text}, env, dir, 90);
    } else {
        env.push_back("SDL_VIDEODRIVER=offscreen");
        r = run_program("/bin/sh", {"-c", text}, env, dir, 240);
    }
    std::printf("%s:%d: %s `%s`: status %d, %.1f s\n", c.file.c_str(), c.line, doc_how_name(how), text.c_str(),
                r.status, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_TRUE(r.status == 0 && !r.timed_out)
        << doc_where(c) << (text != c.text ? "\nrun as: " + text : "") << "\nstatus " << r.status
        << (r.timed_out ? " (timed out)" : "") << "\nstderr:\n" << r.err.substr(0, 4000) << r.out.substr(0, 2000)
        << "\nIf the command reads a file the reader is supposed to have, add it to doc_placeholders "
           "in tests/e2e/readme_e2e_test.cpp.";
}

// Which blocks doc_run_blocks runs: those that build the engine example, the
// others, or all.
enum class doc_which { others, examples, all };

// Runs the blocks; returns how many commands ran.
int doc_run_blocks(const std::vector<doc_block>& blocks, doc_which which)
{
    doc_prefix prefix;
    std::unique_ptr<xvfb_server> x;
    int ran = 0;
    for (const doc_block& b : blocks) {
        // Every program must be known before anything of the block runs.
        std::vector<doc_how> hows;
        bool example = false, known = true;
        for (const doc_command& c : b.commands) {
            const doc_program* p = nullptr;
            hows.push_back(doc_command_how(c, p));
            known = known && p;
            example = example || hows.back() == doc_how::engine_example;
        }
        if (!known || (which == doc_which::examples && !example) || (which == doc_which::others && example))
            continue;
        std::vector<std::string> env = {prefix.path, "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
        bool rewrite = true;
        if (example && !doc_example_env(prefix, env, rewrite))
            return ran;
        std::string dir = test_temp_dir("readme-block");
        doc_provide(b, dir);
        for (size_t i = 0; i < b.commands.size(); ++i, ++ran)
            doc_run_command(b.commands[i], hows[i], dir, env, rewrite, prefix, x);
    }
    return ran;
}

std::vector<doc_block> doc_readme_blocks()
{
    return doc_blocks("README.md", "## ", std::regex("```(sh|bash|shell)\\s*"), doc_readme_usage);
}

}  // namespace

// Every command of the README's usage sections runs as written, in an empty folder.
TEST(ReadmeCommands, UsageSectionsRunAsWritten)
{
    std::vector<doc_block> blocks = doc_readme_blocks();
    // The skipped sections must still be there: a renamed one would be run
    // (and say so), a removed one only leaves a stale entry here.
    std::string readme = read_file(std::string(QIV_SOURCE_DIR) + "/README.md");
    for (const doc_skipped_section& s : doc_skipped_sections) {
        EXPECT_NE(readme.find("\n## " + std::string(s.title) + "\n"), std::string::npos)
            << "README.md has no section \"" << s.title << "\" any more: take it out of doc_skipped_sections";
        std::printf("README.md: section \"%s\" not run: %s\n", s.title, s.reason);
    }
    EXPECT_GE(blocks.size(), 3u) << "README.md: the usage sections' ```sh blocks were not found";
    EXPECT_GT(doc_run_blocks(blocks, doc_which::others), 0);
}

// "Use the engine in your program": the example builds both ways and renders,
// against the installed development package or, without one, this build's
// development files installed into a private prefix.
TEST(ReadmeCommands, EngineExampleBuildsAsWritten)
{
    doc_run_blocks(doc_readme_blocks(), doc_which::examples);
}

// The man pages' EXAMPLES run as written too.
TEST(ReadmeCommands, ManPageExamplesRunAsWritten)
{
    int blocks = 0, ran = 0;
    for (const char* page : {"docs/man/qiv.1.scd", "docs/man/kestrel.1.scd", "docs/man/qiv-mkdata.1.scd"}) {
        std::vector<doc_block> found = doc_blocks(page, "# ", std::regex("```\\s*"), doc_man_examples);
        EXPECT_FALSE(found.empty()) << page << ": no example block in its EXAMPLES section";
        blocks += static_cast<int>(found.size());
        ran += doc_run_blocks(found, doc_which::all);
    }
    EXPECT_GE(ran, blocks);
}
