// tests/package/package_fixture.h - one installed engine for the package tests.
//
// The consumer tests need the engine installed the way a user gets it:
// `cmake --install` of the built tree (component dev) into one prefix under
// the build tree's test area, shared by the CMake and the pkg-config build
// of the example. Commands run through /bin/sh so that tests
// can use pipes and $(pkg-config ...) as a user would.
#pragma once

#include <string>

#include "process.h"

// The install prefix (made on first use); fails the test when the install fails.
const std::string& package_prefix();
// Runs a shell command line; timeout in seconds.
program_result package_sh(const std::string& command, const std::string& cwd = "", double timeout_s = 240.0);
// A shell-quoted argument.
std::string package_quote(const std::string& text);
