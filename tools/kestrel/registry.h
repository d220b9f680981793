// tools/kestrel/registry.h - self-registering subcommands of the kestrel tool.
//
// A subcommand file defines one static kcmd_register object whose function
// adds the subcommand to the CLI11 app and sets its callback. Callbacks run
// inside app.parse(): they throw fatal_error for bad input (exit 1), or set the
// status they were given. Order of registration is the order of --help.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

struct kcmd_entry {
    std::string name;
    std::function<void(CLI::App&, int& status)> add;
};

inline std::vector<kcmd_entry>& kcmd_entries()
{
    static std::vector<kcmd_entry> entries;
    return entries;
}

struct kcmd_register {
    kcmd_register(std::string name, std::function<void(CLI::App&, int&)> add)
    {
        kcmd_entries().push_back({std::move(name), std::move(add)});
    }
};
