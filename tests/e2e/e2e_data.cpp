// tests/e2e/e2e_data.cpp - prepares the folder whole-program tests run qiv in.
#include "e2e_data.h"

#include "demo_data.h"
#include "process.h"

std::string e2e_data_dir()
{
    static std::string dir;
    if (dir.empty()) {
        dir = test_temp_dir("e2e-run");
        demo_data_write(dir + "/data");
    }
    return dir;
}
