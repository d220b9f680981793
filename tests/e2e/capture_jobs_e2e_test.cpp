// Captures split over several processes: the same bytes as one process (PNG
// folders byte for byte, videos frame for frame after decoding), one progress
// bar for the whole, and a clean stop of every child when the parent is
// interrupted or a child dies, with nothing partial left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "e2e_data.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/records.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"

extern char** environ;

namespace {

const std::vector<std::string> ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                      "QIV_NO_MESSAGE_BOX=1"};

// The small data set with segment 2's particles made lively: fast, long-lived,
// spread in colour and direction, so they leave their cube and every frame
// shows particles born many frames before (and the random draws made for them).
std::string lively_data_dir()
{
    static std::string dir;
    if (!dir.empty())
        return dir;
    dir = test_temp_dir("lively");
    std::filesystem::copy(e2e_data_dir() + "/data", dir + "/data", std::filesystem::copy_options::recursive);
    KST_SCENE scene{};
    KST_SCENE_LOAD(scene, dir + "/data/part2.kst");
    // A camera off the Y axis (particles need a view with an X or Z component), seeing the cube's top.
    sb_set_camera(scene, {{0, 5, -12, 4}, {2000, -5, -12, 6}}, {{0, 0, 0, 1}, {2000, 0, 0, 1}});
    for (int32_t i = 0; i < scene.OBJECTS; ++i) {
        KST_PARTICLEDATA& p = scene.OBJ[i].PARTICLE;
        if (!p.ENABLED)
            continue;
        p.DELTAVECTOR = {0.15f, 0.1f, 0.3f};
        p.DELTAVECTORSPREAD = {0.4f, 0.4f, 0.4f};
        p.COLOR = {0.6f, 0.4f, 0.2f};
        p.COLORSPREAD = {0.6f, 0.6f, 0.6f};
        p.DELTAPOWER = 0.02f;
        p.SIZE = 0.5f;
    }
    KST_SCENE_SAVE(scene, dir + "/data/part2.kst");
    KST_SCENE_FREE(scene);
    return dir;
}

program_result qiv(const std::vector<std::string>& args, std::vector<std::string> env = ENV)
{
    return run_program(qiv_path(), args, env, lively_data_dir(), 120);
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> folder_files(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files[e.path().filename().string()] = read_file(e.path().string());
    return files;
}

// Names in dir that a split capture's work folder would have.
int work_folders(const std::string& dir)
{
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        n += e.path().filename().string().find(".parts-") != std::string::npos;
    return n;
}

// The decoded frames of a video: "pts, size, md5" per frame, from ffmpeg's framemd5.
std::vector<std::string> decoded_frames(const std::string& video)
{
    program_result r = run_program("/usr/bin/ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", video,
                                                       "-map", "0:v:0", "-f", "framemd5", "-"});
    std::vector<std::string> frames;
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        std::string line = r.out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line[0] != '#')
            frames.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return frames;
}

// Process ids whose command line contains text (the children of one test run).
std::vector<pid_t> processes_with(const std::string& text)
{
    std::vector<pid_t> pids;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string cmd = read_file(e.path().string() + "/cmdline");
        for (char& c : cmd)
            c = c ? c : ' ';
        std::string state = read_file(e.path().string() + "/stat");
        bool zombie = state.find(") Z") != std::string::npos;
        if (!zombie && cmd.find(text) != std::string::npos)
            pids.push_back(std::stoi(name));
    }
    return pids;
}

// qiv started in the background, stderr into a file.
struct background_qiv {
    pid_t       pid = -1;
    std::string err_path;

    background_qiv(const std::vector<std::string>& args, const std::string& dir)
    {
        err_path = dir + "/stderr.txt";
        std::vector<std::string> all = {qiv_path()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env_strings;
        for (char** e = environ; *e; ++e)
            env_strings.push_back(*e);
        env_strings.insert(env_strings.end(), ENV.begin(), ENV.end());
        std::vector<char*> envp;
        for (std::string& e : env_strings)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::string cwd = lively_data_dir();
        std::string here = std::filesystem::current_path().string();
        std::filesystem::current_path(cwd);
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        std::filesystem::current_path(here);
        posix_spawn_file_actions_destroy(&actions);
    }
    std::string err() const { return read_file(err_path); }
    // Waits until the progress bar shows at least one frame done (or 60 s pass).
    bool wait_for_progress() const
    {
        for (int i = 0; i < 600; ++i) {
            std::string e = err();
            size_t bar = e.rfind("] ");
            if (bar != std::string::npos && e.find("  0%", bar) == std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    int wait() const
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

}  // namespace

TEST(CaptureJobsE2E, TwoProcessesGiveTheBytesOfOne)
{
    // Frames 150..170 of segment 2: its particles are replayed for the second
    // part; t = 40000 (no segment, drawn over the frame before) is crossed in 390..410.
    for (const char* from : {"15000", "39000"}) {
        std::string dir = test_temp_dir("jobs-png");
        std::vector<std::string> range = {"--seed", "1", "--fps", "10", "--from", from, "--to",
                                          std::to_string(std::stoi(from) + 2000)};
        auto args = [&](const std::string& out, const char* jobs) {
            std::vector<std::string> a = {"--capture", dir + "/" + out, "--jobs", jobs};
            a.insert(a.end(), range.begin(), range.end());
            return a;
        };
        program_result one = qiv(args("one", "1"));
        ASSERT_EQ(one.status, 0) << one.err;
        program_result two = qiv(args("two", "2"));
        ASSERT_EQ(two.status, 0) << two.err;
        auto a = folder_files(dir + "/one");
        ASSERT_EQ(a.size(), 21u);
        EXPECT_TRUE(a == folder_files(dir + "/two")) << "split capture from " << from << " differs";
        if (std::string(from) == "15000") {
            std::vector<std::string> plain_env = ENV;
            plain_env.push_back("QIV_CAPTURE_NO_PBO=1");
            program_result plain = qiv(args("plain", "1"), plain_env);  // read-back without pixel buffers
            ASSERT_EQ(plain.status, 0) << plain.err;
            EXPECT_TRUE(a == folder_files(dir + "/plain")) << "plain read-back differs";
        }
        EXPECT_EQ(work_folders(dir), 0);
        // One bar for the whole run, not one per part.
        EXPECT_NE(two.err.find("100%  21/21 frames"), std::string::npos) << two.err;
        EXPECT_EQ(two.err.find("/10 frames"), std::string::npos) << two.err;
        EXPECT_EQ(two.err.find("/11 frames"), std::string::npos) << two.err;
    }
}

// Started by a parent that ignores SIGCHLD (which the parts would inherit),
// the split capture still waits for its parts and gives the same frames.
TEST(CaptureJobsE2E, AParentIgnoringSigchldStillGetsItsCapture)
{
    std::string dir = test_temp_dir("jobs-sigchld");
    auto args = [&](const std::string& out, const char* jobs) {
        return std::vector<std::string>{"--capture", dir + "/" + out, "--jobs", jobs, "--seed", "1",
                                        "--fps", "10", "--from", "15000", "--to", "15500"};
    };
    program_result one = qiv(args("one", "1"));
    ASSERT_EQ(one.status, 0) << one.err;
    std::vector<std::string> bash = {"-c", "trap '' CHLD; exec \"$0\" \"$@\"", qiv_path()};
    for (const std::string& a : args("two", "2"))
        bash.push_back(a);
    program_result two = run_program("/bin/bash", bash, ENV, lively_data_dir(), 120);
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_TRUE(folder_files(dir + "/one") == folder_files(dir + "/two"));
    EXPECT_EQ(work_folders(dir), 0);
    // A single process waits for its encoder alike.
    std::vector<std::string> video = {"-c", "trap '' CHLD; exec \"$0\" \"$@\"", qiv_path(), "--capture",
                                      dir + "/one.mp4", "--jobs", "1", "--fps", "10", "--from", "15000", "--to", "15500"};
    program_result encoded = run_program("/bin/bash", video, ENV, lively_data_dir(), 120);
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_TRUE(std::filesystem::exists(dir + "/one.mp4"));
}

// At 640 x 480 and 10 frames a second, and at 1920 x 1080 (the picture between
// bars) at NTSC's 30000/1001 with another quality: the lossless parts, coded
// once when joined, decode to the frames of a single run, at the exact rate.
TEST(CaptureJobsE2E, SplitVideoDecodesToTheSameFramesWithTheMusic)
{
    struct video_case {
        std::vector<std::string> options;
        size_t frames;
        std::string stream;  // ffprobe's codec, size and rate of the video stream
    };
    const video_case cases[] = {
        {{"--fps", "10"}, 21, "h264,640,480,yuv420p,10/1"},
        {{"--fps", "30000/1001", "--size", "1920x1080", "--crf", "23"}, 60, "h264,1920,1080,yuv420p,30000/1001"},
    };
    for (const video_case& c : cases) {
        SCOPED_TRACE(c.stream);
        std::string dir = test_temp_dir("jobs-video");
        auto args = [&](const std::string& out, const char* jobs) {
            std::vector<std::string> a = {"--capture", dir + "/" + out, "--jobs", jobs, "--seed", "1",
                                          "--from", "15000", "--to", "17000"};
            a.insert(a.end(), c.options.begin(), c.options.end());
            return a;
        };
        program_result one = qiv(args("one.mp4", "1"));
        ASSERT_EQ(one.status, 0) << one.err;
        program_result two = qiv(args("two.mp4", "2"));
        ASSERT_EQ(two.status, 0) << two.err;
        std::vector<std::string> a = decoded_frames(dir + "/one.mp4");
        EXPECT_EQ(a.size(), c.frames);
        EXPECT_EQ(a, decoded_frames(dir + "/two.mp4"));
        program_result probe = run_program("/usr/bin/ffprobe", {"-v", "error", "-show_entries",
            "stream=codec_type", "-of", "csv=p=0", dir + "/two.mp4"});
        EXPECT_EQ(probe.out, "video\naudio\n");  // one video stream, the music muxed in once
        for (const char* video : {"/one.mp4", "/two.mp4"}) {
            program_result v = run_program("/usr/bin/ffprobe", {"-v", "error", "-select_streams", "v:0",
                "-show_entries", "stream=codec_name,width,height,pix_fmt,r_frame_rate", "-of", "csv=p=0",
                dir + video});
            EXPECT_EQ(v.out, c.stream + "\n") << video;
            program_result audio = run_program("/usr/bin/ffprobe", {"-v", "error", "-select_streams", "a:0",
                "-show_entries", "stream=codec_name", "-of", "csv=p=0", dir + video});
            EXPECT_EQ(audio.out, "aac\n");
            std::string bytes = read_file(dir + video);
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << video << ": the index comes first (faststart)";
        }
        EXPECT_EQ(work_folders(dir), 0);
        EXPECT_FALSE(std::filesystem::exists(dir + "/two.mp4.part"));
    }
}

TEST(CaptureJobsE2E, InterruptOrADeadChildStopsEveryPartAndLeavesNothing)
{
    for (bool kill_child : {false, true}) {
        std::string dir = test_temp_dir(kill_child ? "jobs-kill" : "jobs-int");
        std::string out = dir + "/new/frames";  // "new" is made for the capture
        // Far more frames than the test waits for.
        background_qiv run({"--capture", out, "--jobs", "2", "--seed", "1", "--fps", "100", "--from", "15000",
                            "--to", "60000"}, dir);
        ASSERT_TRUE(run.wait_for_progress()) << run.err();
        std::vector<pid_t> children = processes_with("--capture-part-dir " + out);
        ASSERT_EQ(children.size(), 2u);
        if (kill_child)
            kill(children[1], SIGKILL);
        else
            kill(run.pid, SIGINT);
        EXPECT_EQ(run.wait(), 1);
        std::string err = run.err();
        EXPECT_NE(err.find(kill_child ? "was killed by signal 9" : "stopped by a signal"), std::string::npos)
            << err;
        EXPECT_NE(err.find("nothing was written"), std::string::npos) << err;
        EXPECT_TRUE(processes_with(out).empty());  // no child and no ffmpeg left running
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_FALSE(std::filesystem::exists(dir + "/new")) << "the folder made for the capture stays";
        EXPECT_EQ(work_folders(dir), 0);
    }
    // One process keeps what it wrote and says how much; the frame whose
    // read-back was still queued when the interrupt closed the GL context is
    // dropped, not turned into an error.
    std::string dir = test_temp_dir("jobs-one-int");
    background_qiv run({"--capture", dir + "/frames", "--jobs", "1", "--fps", "100", "--from", "15000", "--to",
                        "60000"}, dir);
    ASSERT_TRUE(run.wait_for_progress()) << run.err();
    kill(run.pid, SIGINT);
    EXPECT_EQ(run.wait(), 0);
    std::string err = run.err();
    size_t said = err.find("capture stopped after ");
    ASSERT_NE(said, std::string::npos) << err;
    EXPECT_EQ(std::stoul(err.substr(said + 22)), folder_files(dir + "/frames").size()) << err;
}

TEST(CaptureJobsE2E, JobsUsage)
{
    EXPECT_EQ(qiv({"--jobs", "2"}).status, 2);  // needs --capture
    EXPECT_EQ(qiv({"--capture", "x", "--jobs", "0"}).status, 2);
    program_result help = qiv({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--jobs"), std::string::npos);
    EXPECT_EQ(help.out.find("--capture-part"), std::string::npos);  // the children's options stay hidden
}
