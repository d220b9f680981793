// Man pages: every option a program's --help lists appears in its page, for
// kestrel in every subcommand's --help (nested ones too), and every
// subcommand has a section of its own. The options come from the programs
// themselves, so an option added later is checked without touching this test.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "kestrel_version.h"
#include "process.h"

namespace {

// The page as a reader sees its text: roff's escaped minus signs made plain
// and its font changes (\fB, \fI, \fR, \fP) and zero-width marks (\&) left out.
std::string man_page_text(const std::string& page, const std::string& section = "1")
{
    std::string roff = read_file(std::string(QIV_BINARY_DIR) + "/man/" + page + "." + section);
    std::string text;
    for (size_t i = 0; i < roff.size(); ++i) {
        if (roff[i] == '\\' && i + 1 < roff.size() && roff[i + 1] == '-')
            continue;  // "\-" is a plain "-"
        if (roff[i] == '\\' && i + 1 < roff.size() && roff[i + 1] == '&') {
            i += 1;  // "\&" is nothing
            continue;
        }
        if (roff[i] == '\\' && i + 2 < roff.size() && roff[i + 1] == 'f') {
            i += 2;  // a font change
            continue;
        }
        text += roff[i];
    }
    return text;
}

// "-o", "--frame", "-bmark": the option names of a --help text.
std::set<std::string> man_help_options(const std::string& help)
{
    std::set<std::string> names;
    std::regex option(R"((?:^|[\s,\[(])(--?[A-Za-z][A-Za-z0-9-]*))");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

// True when `name` stands in `text` as a word of its own (not "--frame" in "--frames").
bool man_mentions(const std::string& text, const std::string& name)
{
    auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; };
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        bool starts = at == 0 || !word(text[at - 1]);
        bool ends = at + name.size() >= text.size() || !word(text[at + name.size()]);
        if (starts && ends)
            return true;
    }
    return false;
}

// The subcommand names listed under "Subcommands:" (CLI11's help layout).
std::vector<std::string> man_subcommands(const std::string& help)
{
    std::vector<std::string> subs;
    std::istringstream in(help);
    bool listing = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Subcommands:", 0) == 0 || line.rfind("SUBCOMMANDS:", 0) == 0) {
            listing = true;
            continue;
        }
        if (listing && line.empty())
            break;
        std::smatch m;
        if (listing && std::regex_search(line, m, std::regex(R"(^\s+([a-z][a-z0-9-]*))")))
            subs.push_back(m[1]);
    }
    return subs;
}

void man_check_options(const std::string& page, const std::string& program,
                       const std::vector<std::string>& args)
{
    std::string text = man_page_text(page);
    std::vector<std::string> help_args = args;
    help_args.push_back("--help");
    program_result help = run_program(program, help_args);
    ASSERT_EQ(help.status, 0) << help.err;
    std::string where = page + " " + testing::PrintToString(args);
    for (const std::string& name : man_help_options(help.out))
        EXPECT_TRUE(man_mentions(text, name)) << where << ": " << name << " is not in the man page";
}

// kestrel and each of its subcommands, depth first.
void man_check_kestrel(const std::vector<std::string>& path)
{
    man_check_options("kestrel", kestrel_path(), path);
    std::vector<std::string> help_args = path;
    help_args.push_back("--help");
    std::string text = man_page_text("kestrel");
    for (const std::string& sub : man_subcommands(run_program(kestrel_path(), help_args).out)) {
        std::vector<std::string> next = path;
        next.push_back(sub);
        std::string heading;
        for (const std::string& word : next)
            heading += (heading.empty() ? "" : " ") + word;
        EXPECT_NE(text.find(".SS " + heading), std::string::npos) << "no section for kestrel " << heading;
        man_check_kestrel(next);
    }
}

}  // namespace

TEST(ManPages, EveryHelpOptionIsInThePage)
{
    for (const char* page : {"qiv", "kestrel", "qiv-mkdata"})
        ASSERT_FALSE(man_page_text(page).empty()) << page << ".1 was not built";
    man_check_options("qiv", qiv_path(), {});
    man_check_options("qiv-mkdata", mkdata_path(), {});
    EXPECT_GE(man_subcommands(run_program(kestrel_path(), {"--help"}).out).size(), 8u);
    man_check_kestrel({});
}

TEST(ManPages, EveryProgramShowsTheOneVersion)
{
    for (const std::string& program : {qiv_path(), kestrel_path(), mkdata_path()}) {
        program_result r = run_program(program, {"--version"});
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_NE(r.out.find(KESTREL_VERSION), std::string::npos) << program << ": " << r.out;
    }
}

// qiv-show(5) names every key and step of the show file, and its example is
// the default show.toml exactly as qiv-mkdata writes it.
TEST(ManPages, ShowFilePageHasEveryKeyAndTheDefaultFile)
{
    std::string text = man_page_text("qiv-show", "5");
    ASSERT_FALSE(text.empty());
    for (const char* key : {"music", "length", "bpm", "loading", "layers", "closing", "[[scenes]]", "name",
                            "textures", "particles", "[[segments]]", "start", "end", "include_start", "weight",
                            "steps", "\"clear\"", "\"clear_depth\"", "\"reset\"", "\"starfield\"", "scene", "rate",
                            "frame", "wrap", "effect", "\"spin\"", "objects", "x", "y", "growth"})
        EXPECT_TRUE(man_mentions(text, key)) << key;
    std::istringstream example(read_file(std::string(QIV_SOURCE_DIR) + "/fuzz/corpus/show/default.toml"));
    std::string line;
    int lines = 0;
    while (std::getline(example, line))
        if (!line.empty()) {
            EXPECT_NE(text.find(line), std::string::npos) << "the example lacks: " << line;
            lines += 1;
        }
    EXPECT_GT(lines, 100);
}
