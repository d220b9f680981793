// tests/e2e/e2e_data.h - the data folder whole-program tests run qiv in.
#pragma once

#include <string>

// A working folder holding a data/ folder that qiv can load completely.
std::string e2e_data_dir();
