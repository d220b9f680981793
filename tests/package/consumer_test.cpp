// A program of one's own on the installed engine: the installed tree holds
// only what it should, and examples/render-scene builds against the install
// prefix alone, once through find_package(Kestrel) and once through
// pkg-config, and renders the same picture as `kestrel render`.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "demo_data.h"
#include "kestrel_version.h"
#include "package_fixture.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace fs = std::filesystem;

namespace {

const std::string EXAMPLE_DIR = std::string(QIV_SOURCE_DIR) + "/examples/render-scene";
const std::vector<std::string> OFFSCREEN_ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};

// A scene with textures from the small data set, and kestrel's own frame of it.
struct consumer_scene {
    std::string scene, reference;
};

const consumer_scene& consumer_reference()
{
    static consumer_scene s;
    if (s.scene.empty()) {
        std::string dir = test_temp_dir("consumer-data");
        demo_data_write(dir);
        s.scene = dir + "/part2.kst";
        s.reference = dir + "/reference.png";
        program_result r = run_program(kestrel_path(), {"render", s.scene, "--frame", "10", "-o", s.reference},
                                       OFFSCREEN_ENV);
        EXPECT_EQ(r.status, 0) << r.err;
    }
    return s;
}

struct consumer_image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
};

consumer_image consumer_read_png(const std::string& path)
{
    consumer_image img;
    int comp = 0;
    uint8_t* data = stbi_load(path.c_str(), &img.w, &img.h, &comp, 3);
    if (data) {
        img.rgb.assign(data, data + img.w * img.h * 3);
        stbi_image_free(data);
    }
    return img;
}

// Runs the built example on the scene and compares with kestrel's frame.
void consumer_check_picture(const std::string& program, const std::string& out)
{
    const consumer_scene& s = consumer_reference();
    program_result r = run_program(program, {s.scene, out, "--frame", "10"}, OFFSCREEN_ENV);
    ASSERT_EQ(r.status, 0) << r.err;
    consumer_image got = consumer_read_png(out), want = consumer_read_png(s.reference);
    ASSERT_EQ(got.w, 640);
    ASSERT_EQ(got.h, 480);
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < got.rgb.size(); i += 3)
        colours.insert(got.rgb[i] << 16 | got.rgb[i + 1] << 8 | got.rgb[i + 2]);
    EXPECT_GT(colours.size(), 2u) << "the frame shows nothing";
    EXPECT_TRUE(got.rgb == want.rgb) << "the example's frame differs from kestrel render's";

    program_result usage = run_program(program, {}, OFFSCREEN_ENV);
    EXPECT_EQ(usage.status, 2);
    program_result missing = run_program(program, {s.scene + ".none", out}, OFFSCREEN_ENV);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(s.scene + ".none"), std::string::npos) << missing.err;
}

}  // namespace

TEST(InstalledEngine, HeadersAndFilesNeedNothingFromTheShellOrTheBuildTree)
{
    const std::string& prefix = package_prefix();
    ASSERT_FALSE(prefix.empty());
    const std::string inc = prefix + "/include/kestrel";
    const std::string lib = prefix + "/" + QIV_INSTALL_LIBDIR;
    for (const std::string& f : {inc + "/kestrel.h", inc + "/kestrel_version.h", inc + "/platform/glcontext.h",
                                 lib + "/libkestrel.a", lib + "/libkestrel_platform.a",
                                 lib + "/cmake/Kestrel/KestrelConfig.cmake",
                                 lib + "/cmake/Kestrel/KestrelConfigVersion.cmake",
                                 lib + "/pkgconfig/kestrel.pc", lib + "/pkgconfig/kestrel-platform.pc"})
        EXPECT_TRUE(fs::exists(f)) << f;

    // Every quoted include of an installed header resolves inside the install.
    std::regex include_line(R"re(^\s*#\s*include\s+"([^"]+)")re");
    for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
        if (!entry.is_regular_file())
            continue;
        std::string ext = entry.path().extension().string();
        if (ext != ".h" && ext != ".cmake" && ext != ".pc")
            continue;  // the libraries' debug information names the sources, as it should
        std::string text = read_file(entry.path().string());
        EXPECT_EQ(text.find(QIV_BINARY_DIR), std::string::npos) << entry.path() << " names the build tree";
        EXPECT_EQ(text.find(QIV_SOURCE_DIR), std::string::npos) << entry.path() << " names the source tree";
        if (entry.path().extension() != ".h")
            continue;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, include_line))
                continue;
            std::string name = m[1];
            bool found = fs::exists(entry.path().parent_path() / name) || fs::exists(inc + "/" + name);
            bool optional = name == "engine/import/import.h";  // guarded by __has_include
            EXPECT_TRUE(found || optional) << entry.path() << " includes " << name;
            EXPECT_NE(name.rfind("shell/", 0), 0u) << entry.path() << " includes " << name;
        }
    }
    std::string pc = read_file(lib + "/pkgconfig/kestrel.pc");
    EXPECT_NE(pc.find(std::string("Version: ") + KESTREL_VERSION), std::string::npos) << pc;
    std::string version = read_file(lib + "/cmake/Kestrel/KestrelConfigVersion.cmake");
    EXPECT_NE(version.find(std::string("\"") + KESTREL_VERSION + "\""), std::string::npos);
}

TEST(InstalledEngine, ExampleBuildsWithFindPackageAndRenders)
{
    const std::string& prefix = package_prefix();
    ASSERT_FALSE(prefix.empty());
    std::string build = test_temp_dir("consumer-cmake");
    std::string cmake = package_quote(QIV_CMAKE_COMMAND);
    // Only the prefix: no package registry, nothing from this build tree.
    program_result conf = package_sh(cmake + " -S " + package_quote(EXAMPLE_DIR) + " -B " + package_quote(build) +
                                     " -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=" +
                                     package_quote(prefix) + " -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF");
    ASSERT_EQ(conf.status, 0) << conf.out << conf.err;
    program_result make = package_sh(cmake + " --build " + package_quote(build));
    ASSERT_EQ(make.status, 0) << make.out << make.err;
    EXPECT_EQ(read_file(build + "/build.ninja").find(QIV_SOURCE_DIR "/engine"), std::string::npos);
    consumer_check_picture(build + "/render-scene", build + "/frame.png");
}

TEST(InstalledEngine, ExampleBuildsWithPkgConfigAndRenders)
{
    const std::string& prefix = package_prefix();
    ASSERT_FALSE(prefix.empty());
    std::string build = test_temp_dir("consumer-pkgconfig");
    std::string pcdir = prefix + "/" + QIV_INSTALL_LIBDIR + "/pkgconfig";
    program_result make = package_sh("export PKG_CONFIG_PATH=" + package_quote(pcdir) +
                                     "; c++ -std=c++20 -O1 " + package_quote(EXAMPLE_DIR + "/main.cpp") +
                                     " -o render-scene $(pkg-config --cflags --libs kestrel-platform)", build);
    ASSERT_EQ(make.status, 0) << make.out << make.err;
    consumer_check_picture(build + "/render-scene", build + "/frame.png");
}
