// tests/mkdata/mkdata_pictures_test.cpp - culling, buffer objects and the
// shader warm-up change no pixel.
//
// The renderer skips objects outside the view volume and keeps meshes in GL
// buffer objects, and qiv draws frames of the whole show invisibly before the
// first one so that the driver compiles its shaders early; all three only
// change how much work GL gets, and when. These cases render the generated
// show and every generated scene twice, once as usual and once with
// KESTREL_NO_CULLING, KESTREL_NO_BUFFERS and QIV_NO_WARM_UP set, and require
// the same PNG bytes.
//
// The same runs check the pictures against a reference list made by a build
// from before the show could be drawn at other sizes
// (tests/mkdata/picture_reference.txt: a 64-bit FNV-1a hash of each PNG file,
// as qiv and kestrel write them at 640 x 480): the default pictures must stay
// the same bytes. After a deliberate change to the pictures, run the two
// cases once with QIV_PICTURE_REFERENCE_WRITE=1 to write the list anew.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "mkdata_fixture.h"
#include "process.h"

namespace fs = std::filesystem;

namespace {
const std::vector<std::string> PLAIN_GL = {"KESTREL_NO_CULLING=1", "KESTREL_NO_BUFFERS=1", "QIV_NO_WARM_UP=1"};

// Runs the same command as usual and with the plain GL path, one per core.
void run_both(const std::string& program, const std::vector<std::string>& fast,
              const std::vector<std::string>& plain)
{
    auto second = std::async(std::launch::async, [&] { return run_program(program, plain, PLAIN_GL, "", 300); });
    program_result a = run_program(program, fast, {}, "", 300);
    program_result b = second.get();
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
}

void expect_same_file(const std::string& a, const std::string& b)
{
    std::string x = read_file(a), y = read_file(b);
    ASSERT_FALSE(x.empty()) << a;
    EXPECT_TRUE(x == y) << a << " and " << b << " differ";
}

const std::string REFERENCE_FILE = std::string(QIV_SOURCE_DIR) + "/tests/mkdata/picture_reference.txt";

std::string fnv1a64(const std::string& bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::map<std::string, std::string> reference_read()
{
    std::map<std::string, std::string> list;
    std::ifstream in(REFERENCE_FILE);
    std::string name, hash;
    while (in >> name >> hash)
        list[name] = hash;
    return list;
}

// Compares the pictures (key: a name, value: the PNG file) with the reference
// list, or with QIV_PICTURE_REFERENCE_WRITE=1 puts them into it.
void expect_reference(const std::map<std::string, std::string>& pictures)
{
    std::map<std::string, std::string> list = reference_read();
    const char* write = std::getenv("QIV_PICTURE_REFERENCE_WRITE");
    if (write != nullptr && std::string(write) == "1") {
        for (const auto& [name, file] : pictures)
            list[name] = fnv1a64(read_file(file));
        std::ofstream out(REFERENCE_FILE);
        for (const auto& [name, hash] : list)
            out << name << " " << hash << "\n";
        return;
    }
    for (const auto& [name, file] : pictures) {
        auto known = list.find(name);
        ASSERT_NE(known, list.end()) << name << " is not in " << REFERENCE_FILE;
        EXPECT_EQ(fnv1a64(read_file(file)), known->second) << name << " (" << file << ") changed";
    }
}
}  // namespace

// The whole show at one frame per second (132 frames from 0 to 131 s, every
// segment and every scene), seed 1.
TEST(MkdataPictures, ShowIsTheSameWithoutCullingBuffersAndWarmUp)
{
    const std::string data = mkdata_shared_dir();
    const std::string out = test_temp_dir("mkdata-pictures-show");
    auto args = [&](const std::string& dir) {
        return std::vector<std::string>{"--data", data, "--seed", "1", "--capture", out + "/" + dir, "--fps", "1"};
    };
    run_both(qiv_path(), args("fast"), args("plain"));
    int frames = 0;
    std::map<std::string, std::string> pictures;
    for (const auto& e : fs::directory_iterator(out + "/fast")) {
        expect_same_file(e.path().string(), out + "/plain/" + e.path().filename().string());
        pictures["show/" + e.path().filename().string()] = e.path().string();
        frames += 1;
    }
    EXPECT_EQ(frames, 132);
    expect_reference(pictures);
}

// Every scene at two frames, alone and with particles, flares and shadows.
TEST(MkdataPictures, ScenesAreTheSameWithoutCullingAndBuffers)
{
    const std::string data = mkdata_shared_dir();
    const std::string out = test_temp_dir("mkdata-pictures-scenes");
    std::map<std::string, std::string> pictures;
    for (const std::string& stem : MKDATA_SCENE_STEMS)
        for (const char* frame : {"137.5", "611.25"})
            for (bool effects : {false, true}) {
                std::string name = out + "/" + stem + "-" + frame + (effects ? "-fx" : "");
                auto args = [&](const std::string& png) {
                    std::vector<std::string> a = {"render", data + "/" + stem + ".kst", "--frame", frame, "-o",
                                                  png, "--data", data};
                    if (effects)
                        a.insert(a.end(), {"--particles", "400", "--steps", "30", "--flares", "--shadows", "0"});
                    return a;
                };
                run_both(kestrel_path(), args(name + ".png"), args(name + "-plain.png"));
                expect_same_file(name + ".png", name + "-plain.png");
                pictures["scenes/" + stem + "-" + frame + (effects ? "-fx" : "") + ".png"] = name + ".png";
            }
    expect_reference(pictures);
}
