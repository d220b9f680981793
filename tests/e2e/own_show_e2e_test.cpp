// The README's "Make your own show" walkthrough, run exactly as written: its
// shell block is taken from README.md and run by bash in an empty folder,
// with the built kestrel and qiv first on the PATH (the duck of the
// assimp-testmodels package, a title texture made by ffmpeg); the --edit
// window is closed after a few seconds, as its author would. The show it
// captures must show the title card in its first segment and the duck, with
// no card, in its second.
#include <gtest/gtest.h>

#include <filesystem>

#include "process.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

// The first ```sh block after the heading, without the fences.
std::string readme_block(const std::string& heading)
{
    std::string readme = read_file(std::string(QIV_SOURCE_DIR) + "/README.md");
    size_t at = readme.find("\n" + heading + "\n");
    if (at == std::string::npos)
        return "";
    size_t begin = readme.find("```sh\n", at);
    size_t end = readme.find("\n```", begin + 6);
    if (begin == std::string::npos || end == std::string::npos)
        return "";
    return readme.substr(begin + 6, end - begin - 6 + 1);
}

struct own_picture {
    int                  w = 0, h = 0;
    std::vector<uint8_t> rgb;
    // Pixel (x, y) with y down from the top row, like the image.
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
};

own_picture own_load(const std::string& path)
{
    own_picture p;
    int n = 0;
    if (uint8_t* data = stbi_load(path.c_str(), &p.w, &p.h, &n, 3)) {
        p.rgb.assign(data, data + size_t(p.w) * p.h * 3);
        stbi_image_free(data);
    }
    return p;
}

int own_yellow_pixels(const own_picture& p)
{
    int yellow = 0;
    for (size_t i = 0; i + 2 < p.rgb.size(); i += 3)
        yellow += p.rgb[i] > 180 && p.rgb[i + 1] > 140 && p.rgb[i + 2] < 90;
    return yellow;
}

}  // namespace

TEST(OwnShowE2E, TheReadmeWalkthroughMakesAShowOfTitleAndModel)
{
    if (!std::filesystem::exists("/usr/share/assimp/models/Collada/duck.dae"))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    std::string script = readme_block("## Make your own show");
    ASSERT_NE(script.find("qiv --data . --capture frames"), std::string::npos) << script;
    ASSERT_NE(script.find("qiv --data . --edit"), std::string::npos) << script;
    std::string dir = test_temp_dir("own-show");
    write_file(dir + "/walkthrough.sh", "set -e\n" + script);
    std::string bin = std::filesystem::path(qiv_path()).parent_path().string();
    ASSERT_EQ(std::filesystem::path(kestrel_path()).parent_path().string(), bin);
    // The author closes the --edit window after a few seconds: a qiv first on
    // the PATH sends the real one SIGTERM (a close request) then.
    std::filesystem::create_directories(dir + "/author");
    write_file(dir + "/author/qiv", "#!/bin/sh\ncase \" $* \" in *\" --edit \"*) exec timeout --preserve-status -s TERM 4 " +
                                        qiv_path() + " \"$@\";; esac\nexec " + qiv_path() + " \"$@\"\n");
    std::filesystem::permissions(dir + "/author/qiv", std::filesystem::perms::owner_all);
    program_result r = run_program("/bin/bash", {"walkthrough.sh"},
                                   {"PATH=" + dir + "/author:" + bin + ":/usr/bin:/bin", "SDL_VIDEODRIVER=offscreen",
                                    "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"},
                                   dir, 240);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string frames = dir + "/myshow/frames/";
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(frames))
        count += e.path().extension() == ".png";
    EXPECT_EQ(count, 16);  // 0 to 15 s, the show's length

    // 2 s: the card, opaque, its blue beside the title text; no duck.
    own_picture title = own_load(frames + "frame_000002.png");
    ASSERT_EQ(title.w, 640);
    const uint8_t* card = title.at(200, 120);
    EXPECT_NEAR(card[0], 0x20, 3);
    EXPECT_NEAR(card[1], 0x30, 3);
    EXPECT_NEAR(card[2], 0x50, 3);
    EXPECT_LT(own_yellow_pixels(title), 50);
    // 8 s: the duck, and the card gone.
    own_picture duck = own_load(frames + "frame_000008.png");
    ASSERT_EQ(duck.w, 640);
    EXPECT_GT(own_yellow_pixels(duck), 3000);
    EXPECT_LT(duck.at(200, 120)[2], 20);
}
