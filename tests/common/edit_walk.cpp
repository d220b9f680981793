// tests/common/edit_walk.cpp - the edit-key walk and its checks (see edit_walk.h).
#include "edit_walk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "process.h"

std::vector<std::string> edit_walk_lines(const std::string& err)
{
    std::vector<std::string> lines;
    std::istringstream in(err);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("qiv: edit: ", 0) == 0)
            lines.push_back(line.substr(11));
    return lines;
}

uint32_t edit_walk_ms(const std::string& line)
{
    unsigned s = 0, ms = 0;
    std::sscanf(line.c_str(), "%u.%u", &s, &ms);
    return s * 1000 + ms;
}

void edit_walk_press(const std::vector<std::string>& env, const std::atomic<bool>& done, int delay_ms)
{
    while (!done) {
        if (run_program("/usr/bin/xdotool", {"search", "--name", "^qiv edit"}, env, "", 10).status == 0) {
            run_program("/usr/bin/xdotool",
                        {"search", "--name", "^qiv edit", "windowfocus", "--sync", "key", "--delay",
                         std::to_string(delay_ms), "space", "Right", "Next", "bracketleft", "l", "Home", "Escape"},
                        env, "", 30);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void edit_walk_expect(const std::string& err)
{
    std::vector<std::string> lines = edit_walk_lines(err);
    ASSERT_EQ(lines.size(), 6u) << err;
    uint32_t paused = edit_walk_ms(lines[0]);
    EXPECT_GE(paused, 20000u);
    EXPECT_NE(lines[0].find("segment 2 part2"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("paused"), std::string::npos) << lines[0];
    EXPECT_EQ(edit_walk_ms(lines[1]), paused + 1000) << lines[1];
    EXPECT_EQ(lines[2].rfind("40.001 s  segment 3 lepke", 0), 0u) << lines[2];
    EXPECT_NE(lines[3].find("loop 40.001-64.000 off"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("loop 40.001-64.000 on"), std::string::npos) << lines[4];
    // Home restarts, but while looping the time stays in the loop: its start.
    EXPECT_EQ(lines[5].rfind("40.001 s  segment 3 lepke", 0), 0u) << lines[5];
}
