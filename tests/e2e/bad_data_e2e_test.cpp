// tests/e2e/bad_data_e2e_test.cpp - qiv and kestrel on broken data and unwritable outputs.
//
// Every file of the generated data folder is damaged in three ways - left
// out, cut to its first half, replaced by random bytes of the same size - and
// qiv runs on each variant. Anything it cannot use ends the run with status 1
// and one "qiv: " line naming the file, no signal, no hang and no output file.
// A random texture of the right size is simply a picture, so those all share
// one run that must play; a bad music.ogg only costs the sound.
//
// --frame covers the whole matrix (it is the cheapest run: one frame off
// screen); a normal start and both kinds of capture cover a representative
// file of each type. Variants are hard links to the shared data set with the
// one damaged file replaced, and run two at a time (one per core).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <random>
#include <sstream>
#include <sys/stat.h>

#include "generated_data.h"
#include "process.h"

namespace fs = std::filesystem;

namespace {

enum bd_damage { BD_MISSING, BD_HALF, BD_RANDOM };
const char* const BD_DAMAGE_NAMES[] = {"missing", "half", "random"};

enum bd_mode { BD_FRAME, BD_NORMAL, BD_CAPTURE_PNG, BD_CAPTURE_MP4 };

// Off screen, no sound device, no message box (a normal start shows one).
const std::vector<std::string> BD_ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                         "LIBGL_ALWAYS_SOFTWARE=1", "QIV_NO_MESSAGE_BOX=1"};

struct bd_case {
    std::vector<std::string> files;   // files damaged together
    bd_damage                damage;
    bd_mode                  mode;
};

struct bd_outcome {
    bd_case        c;
    std::string    work;
    program_result r;
};

std::string bd_name(const bd_case& c)
{
    static const char* const modes[] = {"--frame", "normal start", "--capture PNG", "--capture mp4"};
    std::string files = c.files.size() == 1 ? c.files[0] : std::to_string(c.files.size()) + " files";
    return files + " " + BD_DAMAGE_NAMES[c.damage] + ", " + modes[c.mode];
}

std::vector<std::string> bd_files(const std::string& extension)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(generated_data_dir()))
        if (e.path().extension() == extension)
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Same bytes for the same file on every run, so a failure can be replayed.
std::string bd_random_bytes(const std::string& name, size_t size)
{
    std::mt19937 gen(static_cast<uint32_t>(std::hash<std::string>{}(name)));
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(gen() & 0xff);
    return bytes;
}

// A working folder whose data/ is the shared set with c's files damaged.
std::string bd_prepare(const bd_case& c)
{
    std::string work = test_temp_dir("bad-data");
    fs::path data = fs::path(work) / "data";
    fs::create_directories(data);
    for (const auto& e : fs::directory_iterator(generated_data_dir()))
        if (e.path().filename() != ".stamp")
            fs::create_hard_link(e.path(), data / e.path().filename());
    for (const std::string& f : c.files) {
        std::string good = read_file(generated_data_dir() + "/" + f);
        fs::remove(data / f);  // never write through the hard link
        if (c.damage == BD_HALF)
            write_file((data / f).string(), good.substr(0, good.size() / 2));
        else if (c.damage == BD_RANDOM)
            write_file((data / f).string(), bd_random_bytes(f, good.size()));
    }
    return work;
}

bd_outcome bd_run(const bd_case& c)
{
    bd_outcome o{c, bd_prepare(c), {}};
    switch (c.mode) {
    case BD_FRAME:
        o.r = run_program(qiv_path(), {"--frame", "60000", "-o", "out.png"}, BD_ENV, o.work, 60);
        break;
    case BD_NORMAL:  // a show that plays is ended by SIGTERM after a few seconds
        o.r = run_program("/usr/bin/timeout", {"-s", "TERM", "8", qiv_path()}, BD_ENV, o.work, 60);
        break;
    case BD_CAPTURE_PNG:
        o.r = run_program(qiv_path(), {"--capture", "frames", "--from", "60000", "--to", "60100"}, BD_ENV,
                          o.work, 60);
        break;
    case BD_CAPTURE_MP4:
        o.r = run_program(qiv_path(), {"--capture", "out.mp4", "--from", "60000", "--to", "60100"}, BD_ENV,
                          o.work, 60);
        break;
    }
    fs::remove_all(fs::path(o.work) / "data");
    return o;
}

// Runs every case, two at a time.
std::vector<bd_outcome> bd_run_all(const std::vector<bd_case>& cases)
{
    std::vector<bd_outcome> out;
    for (size_t k = 0; k < cases.size(); k += 2) {
        std::future<bd_outcome> second;
        if (k + 1 < cases.size())
            second = std::async(std::launch::async, bd_run, cases[k + 1]);
        out.push_back(bd_run(cases[k]));
        if (second.valid())
            out.push_back(second.get());
    }
    return out;
}

// stderr lines, the capture progress bar (carriage-return lines) left out.
std::vector<std::string> bd_messages(const std::string& err)
{
    std::vector<std::string> lines;
    std::istringstream in(err);
    std::string line;
    while (std::getline(in, line)) {
        size_t cr = line.rfind('\r');
        if (cr != std::string::npos)
            line = line.substr(cr + 1);
        if (!line.empty() && line.rfind("capture [", 0) != 0)
            lines.push_back(line);
    }
    return lines;
}

// What the run left in its working folder.
std::vector<std::string> bd_leftovers(const std::string& work)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(work))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string bd_join(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& x : v)
        s += x + "\n";
    return s;
}

// Status 1, no signal or hang, exactly one "qiv: " line and it names the
// file, and nothing written. The engine's own "kestrel: " reports of bad
// chunks may come before it.
void bd_expect_refused(const bd_outcome& o)
{
    SCOPED_TRACE(bd_name(o.c));
    EXPECT_FALSE(o.r.timed_out);
    EXPECT_EQ(o.r.status, 1) << o.r.err;
    std::vector<std::string> fatal;
    for (const std::string& line : bd_messages(o.r.err)) {
        EXPECT_TRUE(line.rfind("qiv: ", 0) == 0 || line.rfind("kestrel: ", 0) == 0) << line;
        if (line.rfind("qiv: ", 0) == 0)
            fatal.push_back(line);
    }
    ASSERT_EQ(fatal.size(), 1u) << o.r.err;
    EXPECT_LT(fatal[0].size(), 300u) << fatal[0];
    bool named = false;
    for (const std::string& f : o.c.files)
        named = named || fatal[0].rfind("qiv: data/" + f + ": ", 0) == 0;
    EXPECT_TRUE(named) << fatal[0];
    for (unsigned char ch : o.r.err)
        EXPECT_TRUE(ch == '\n' || ch == '\r' || (ch >= 0x20 && ch < 0x7f)) << "unprintable byte in " << o.r.err;
    EXPECT_EQ(bd_join(bd_leftovers(o.work)), "") << "partial output left behind";
}

void bd_expect_played(const bd_outcome& o, const std::string& output)
{
    SCOPED_TRACE(bd_name(o.c));
    EXPECT_FALSE(o.r.timed_out);
    EXPECT_EQ(o.r.status, o.c.mode == BD_NORMAL ? 124 : 0) << o.r.err;  // 124: ended by SIGTERM
    if (!output.empty())
        EXPECT_TRUE(fs::exists(fs::path(o.work) / output)) << o.r.err;
}

std::vector<bd_case> bd_frame_cases(const std::vector<std::string>& files, std::vector<bd_damage> damages)
{
    std::vector<bd_case> cases;
    for (const std::string& f : files)
        for (bd_damage d : damages)
            cases.push_back({{f}, d, BD_FRAME});
    return cases;
}

}  // namespace

// Every damage of every layer file ends a --frame run.
TEST(BadDataE2E, EveryBrokenLayerFileEndsAFrameRunNamingIt)
{
    std::vector<std::string> files = bd_files(".ife");
    ASSERT_EQ(files.size(), 15u);
    for (const bd_outcome& o : bd_run_all(bd_frame_cases(files, {BD_MISSING, BD_HALF, BD_RANDOM})))
        bd_expect_refused(o);
}

// Every damage of every scene file ends a --frame run.
TEST(BadDataE2E, EveryBrokenSceneFileEndsAFrameRunNamingIt)
{
    std::vector<std::string> files = bd_files(".kst");
    ASSERT_EQ(files.size(), 6u);
    for (const bd_outcome& o : bd_run_all(bd_frame_cases(files, {BD_MISSING, BD_HALF, BD_RANDOM})))
        bd_expect_refused(o);
}

// Textures: a missing or short one ends the run; random pixels of the right
// size are a picture, so all fifty at once still give a frame. Two halves of
// the texture list, to keep each case short.
static void bd_check_textures(bool first_half)
{
    std::vector<std::string> textures = bd_files(".raw");
    ASSERT_GE(textures.size(), 40u);
    size_t mid = textures.size() / 2;
    std::vector<std::string> half(first_half ? textures.begin() : textures.begin() + long(mid),
                                  first_half ? textures.begin() + long(mid) : textures.end());
    std::vector<bd_case> cases = bd_frame_cases(half, {BD_MISSING, BD_HALF});
    if (first_half)
        cases.push_back({textures, BD_RANDOM, BD_FRAME});
    for (const bd_outcome& o : bd_run_all(cases)) {
        if (o.c.damage == BD_RANDOM)
            bd_expect_played(o, "out.png");
        else
            bd_expect_refused(o);
    }
}

TEST(BadDataE2E, MissingOrShortTexturesEndAFrameRunAndRandomOnesPlay)
{
    bd_check_textures(true);
}

TEST(BadDataE2E, MissingOrShortTexturesEndAFrameRunSecondHalf)
{
    bd_check_textures(false);
}

// A normal start and both kinds of capture stop the same way, for a
// representative file of each type and each damage.
TEST(BadDataE2E, NormalStartAndCaptureStopOnBrokenDataToo)
{
    std::vector<bd_case> cases = {
        {{"loading.ife"}, BD_MISSING, BD_NORMAL},      {{"drumcrash.ife"}, BD_RANDOM, BD_NORMAL},
        {{"part2.kst"}, BD_HALF, BD_NORMAL},           {{"qorv.kst"}, BD_RANDOM, BD_NORMAL},
        {{"txt_loading.raw"}, BD_MISSING, BD_NORMAL},  {{"wing.raw"}, BD_HALF, BD_NORMAL},
        {{"greets.ife"}, BD_HALF, BD_CAPTURE_PNG},     {{"hipoly.kst"}, BD_MISSING, BD_CAPTURE_PNG},
        {{"white.raw"}, BD_HALF, BD_CAPTURE_PNG},      {{"meeting.ife"}, BD_RANDOM, BD_CAPTURE_MP4},
        {{"earth.kst"}, BD_HALF, BD_CAPTURE_MP4},      {{"spark.raw"}, BD_MISSING, BD_CAPTURE_MP4},
    };
    for (const bd_outcome& o : bd_run_all(cases))
        bd_expect_refused(o);
}

// A bad music file costs only the sound: a video is made without it, with one
// line on stderr naming the file; a normal start plays in silence with one
// line; a single frame needs no music at all.
TEST(BadDataE2E, ABrokenMusicFileOnlyCostsTheSound)
{
    std::vector<bd_case> cases = {
        {{"music.ogg"}, BD_MISSING, BD_FRAME},       {{"music.ogg"}, BD_HALF, BD_FRAME},
        {{"music.ogg"}, BD_RANDOM, BD_FRAME},        {{"music.ogg"}, BD_RANDOM, BD_CAPTURE_MP4},
        {{"music.ogg"}, BD_MISSING, BD_CAPTURE_MP4}, {{"music.ogg"}, BD_HALF, BD_CAPTURE_MP4},
        {{"music.ogg"}, BD_RANDOM, BD_NORMAL},
    };
    for (const bd_outcome& o : bd_run_all(cases)) {
        bool video = o.c.mode == BD_CAPTURE_MP4;
        bd_expect_played(o, o.c.mode == BD_FRAME ? "out.png" : video ? "out.mp4" : "");
        std::vector<std::string> lines = bd_messages(o.r.err);
        bool silent = o.c.mode == BD_FRAME || (video && o.c.damage == BD_HALF);  // half a file still plays
        SCOPED_TRACE(bd_name(o.c));
        ASSERT_EQ(lines.size(), silent ? 0u : 1u) << o.r.err;
        if (!silent)
            EXPECT_EQ(lines[0].rfind("qiv: data/music.ogg ", 0), 0u) << lines[0];
        if (video)
            EXPECT_FALSE(fs::exists(fs::path(o.work) / "out.mp4.part"));
    }
}

// --- kestrel -------------------------------------------------------------------------------------
namespace {

// Status 1 and a last stderr line "kestrel: NAME: ..." of printable text.
void bd_expect_kestrel_refused(const program_result& r, const std::string& name, const std::string& what)
{
    SCOPED_TRACE(what);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1) << r.err;
    std::vector<std::string> lines = bd_messages(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("kestrel: " + name + ": ", 0), 0u) << r.err;
    EXPECT_LT(lines.back().size(), 300u);
    for (unsigned char ch : r.err)
        EXPECT_TRUE(ch == '\n' || (ch >= 0x20 && ch < 0x7f)) << "unprintable byte in " << r.err;
}

bool bd_is_char_device(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

// Every subcommand that loads a scene refuses a missing, short or random one,
// and the interface parser a broken layer file, without touching the output.
TEST(BadDataE2E, KestrelSubcommandsRefuseBrokenInputs)
{
    std::string dir = test_temp_dir("bad-data-kestrel");
    std::string good = read_file(generated_data_dir() + "/lepke.kst");
    std::string ife = read_file(generated_data_dir() + "/greets.ife");
    write_file(dir + "/half.kst", good.substr(0, good.size() / 2));
    write_file(dir + "/random.kst", bd_random_bytes("random.kst", good.size()));
    write_file(dir + "/half.ife", ife.substr(0, ife.size() / 2));
    write_file(dir + "/random.ife", bd_random_bytes("random.ife", ife.size()));
    write_file(dir + "/good.cfg", "camerafov=1\n");
    const std::string earlier = "an earlier file";
    for (const char* stem : {"missing", "half", "random"}) {
        std::string in = dir + "/" + stem + ".kst", out = dir + "/out";
        std::vector<std::vector<std::string>> commands = {
            {"dump", in},
            {"resave", in, out},
            {"render", in, "--frame", "0", "-o", out},
            {"config", "write", in, out},
            {"config", "apply", in, dir + "/good.cfg", "-o", out},
            {"geodump", in, out},
        };
        for (const auto& args : commands) {
            for (const char* suffix : {"", "v", "f"})
                write_file(out + suffix, earlier);
            program_result r = run_program(kestrel_path(), args, BD_ENV, "", 60);
            bd_expect_kestrel_refused(r, in, args[0] + " " + stem);
            for (const char* suffix : {"", "v", "f"})
                EXPECT_EQ(read_file(out + suffix), earlier) << args[0] << " " << stem;
        }
        std::string layers = dir + "/" + stem + ".ife";
        bd_expect_kestrel_refused(run_program(kestrel_path(), {"ife", layers}, BD_ENV, "", 60), layers,
                                  std::string("ife ") + stem);
    }
    // info lists what it can of a broken file (its warnings say what is wrong)
    // and refuses only one it cannot read.
    bd_expect_kestrel_refused(run_program(kestrel_path(), {"info", dir + "/missing.kst"}), dir + "/missing.kst",
                              "info missing");
    program_result info = run_program(kestrel_path(), {"info", dir + "/half.kst"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("file ends inside the chunk"), std::string::npos) << info.out;
}

// An output that cannot be written - a path below a file, a full device - is
// status 1 with a message naming it, and
// the device stays a device (root could rename a file over /dev/full). A
// write that fails part-way (a file size limit) leaves the earlier file as it
// was and no temporary file beside it.
TEST(BadDataE2E, UnwritableOutputsAreRefusedAndEarlierFilesKept)
{
    std::string dir = test_temp_dir("bad-data-out");
    std::string scene = generated_data_dir() + "/lepke.kst";
    write_file(dir + "/good.cfg", "camerafov=1\n");
    for (const std::string& out : {dir + "/good.cfg/folder/x", std::string("/dev/null/x"), std::string("/dev/full")}) {
        std::vector<std::vector<std::string>> commands = {
            {"resave", scene, out},
            {"render", scene, "--frame", "0", "-o", out},
            {"config", "write", scene, out},
            {"config", "apply", scene, dir + "/good.cfg", "-o", out},
        };
        if (out != "/dev/full")
            commands.push_back({"geodump", scene, out});
        for (const auto& args : commands) {
            program_result r = run_program(kestrel_path(), args, BD_ENV, "", 60);
            std::string name = args[0] == "geodump" ? out + "v" : out;
            bd_expect_kestrel_refused(r, name, args[0] + " to " + out);
        }
        program_result q = run_program(qiv_path(), {"--data", generated_data_dir(), "--frame", "6000", "-o", out},
                                       BD_ENV, "", 60);
        EXPECT_EQ(q.status, 1) << q.err;
        EXPECT_EQ(bd_messages(q.err).size(), 1u) << q.err;
        EXPECT_EQ(q.err.rfind("qiv: " + out + ": ", 0), 0u) << q.err;
    }
    for (const std::string& out : {std::string("/dev/null/frames"), std::string("/dev/null/x.mp4")}) {
        program_result q = run_program(qiv_path(), {"--data", generated_data_dir(), "--capture", out, "--from",
                                                    "6000", "--to", "6100"}, BD_ENV, "", 60);
        EXPECT_EQ(q.status, 1) << q.err;
        EXPECT_EQ(q.err.rfind("qiv: " + out + ": ", 0), 0u) << q.err;
    }
    EXPECT_TRUE(bd_is_char_device("/dev/full"));
    EXPECT_TRUE(bd_is_char_device("/dev/null"));

    // A size limit of 4 blocks stops the write a few kilobytes in.
    const std::string earlier = "an earlier file";
    write_file(dir + "/out.kst", earlier);
    program_result r = run_program("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 4; exec \"$0\" resave \"$1\" \"$2\"",
                                               kestrel_path(), scene, dir + "/out.kst"}, BD_ENV);
    bd_expect_kestrel_refused(r, dir + "/out.kst", "resave past the size limit");
    EXPECT_EQ(read_file(dir + "/out.kst"), earlier);
    std::vector<std::string> names = bd_leftovers(dir);
    EXPECT_EQ(bd_join(names), "good.cfg\nout.kst\n") << "a temporary file was left behind";
}
