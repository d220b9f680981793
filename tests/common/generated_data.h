// tests/common/generated_data.h - the production data set made by qiv-mkdata, shared by tests.
//
// Generating the production takes a few seconds, and ctest runs every test
// case in its own process, so the data set is made once per build of
// qiv-mkdata into a shared folder of the build tree (guarded by a lock and a
// stamp naming the generator's size and time) and reused by every case of
// every test executable that asks for it.
#pragma once

#include <string>

// The shared data folder (made on first use, default seed); fails the calling
// test when the generator fails.
std::string generated_data_dir();
