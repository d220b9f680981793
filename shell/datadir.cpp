// shell/datadir.cpp - finding the data folder (see datadir.h).
#include "shell/datadir.h"

#include <filesystem>
#include <system_error>

#include "support/error.h"

#ifndef QIV_DATA_FROM_BIN
#define QIV_DATA_FROM_BIN "../share/qiv/data"
#endif

namespace fs = std::filesystem;

// --- internal helpers ---------------------------------------------------------
// share/qiv/data relative to the running executable, or "" when the kernel
// does not say where it is.
static std::string datadir_installed()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        return "";
    return (exe.parent_path() / QIV_DATA_FROM_BIN).lexically_normal().string();
}

static bool datadir_is_folder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

// The first file the show loads; a folder without it holds no show (an
// empty ./data, a folder of something else) and is passed over.
static const char* const datadir_show_file = "loading.ife";

static bool datadir_holds_show(const std::string& path)
{
    std::error_code ec;
    return datadir_is_folder(path) && fs::is_regular_file(fs::path(path) / datadir_show_file, ec);
}

// --- public functions ---------------------------------------------------------
std::vector<std::string> datadir_candidates(const std::string& given)
{
    if (!given.empty())
        return {given};
    std::vector<std::string> places{"data"};
    std::string installed = datadir_installed();
    if (!installed.empty())
        places.push_back(installed);
    return places;
}

std::string datadir_find(const std::string& given)
{
    std::vector<std::string> places = datadir_candidates(given);
    if (!given.empty()) {
        if (datadir_is_folder(given))
            return given;
        fatal_raise(given + ": no such data folder (given with --data)");
    }
    for (const std::string& place : places)
        if (datadir_holds_show(place))
            return place;
    std::string list;
    for (size_t i = 0; i < places.size(); ++i)
        list += (i ? ", " : "") + (places[i] == "data" ? std::string("./data") : places[i]);
    fatal_raise(std::string("no data folder with the show's files (") + datadir_show_file + ") found; looked in " + list +
                " (make one with qiv-mkdata data, or give one with --data DIR)");
}
