// shell/datadir.cpp - finding the data folder (see datadir.h).
#include "shell/datadir.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/os.h"
#include "shell/shell.h"
#include "support/error.h"

#ifndef QIV_DATA_FROM_BIN
#define QIV_DATA_FROM_BIN "../share/qiv/data"
#endif

namespace fs = std::filesystem;

// --- internal helpers ---------------------------------------------------------
// A folder relative to the running executable's folder, or "" when the
// system does not say where the executable is.
static std::string datadir_from_exe(const char* relative)
{
    fs::path exe = os_executable_path();
    if (exe.empty())
        return "";
    return (exe.parent_path() / relative).lexically_normal().string();
}

static bool datadir_is_folder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

// A folder holds the show when it has any of the show's layer files: an
// empty ./data, or a folder of something else, is passed over, while a show
// with a file missing is still taken, so that the missing file is named.
static bool datadir_holds_show(const std::string& path)
{
    if (!datadir_is_folder(path))
        return false;
    std::error_code ec;
    for (const char* stem : SHELL_LAYERS_STEMS)
        if (fs::is_regular_file(fs::path(path) / (std::string(stem) + ".ife"), ec))
            return true;
    return false;
}

// --- public functions ---------------------------------------------------------
std::vector<std::string> datadir_candidates(const std::string& given)
{
    if (!given.empty())
        return {given};
    // The unpacked archive's data/ beside the program, then the installed
    // share/qiv/data (one place where the build installs into the same
    // folder as the program, as the Windows build does).
    std::vector<std::string> places{"data"};
    for (const char* relative : {"data", QIV_DATA_FROM_BIN}) {
        std::string place = datadir_from_exe(relative);
        if (!place.empty() && std::find(places.begin(), places.end(), place) == places.end())
            places.push_back(place);
    }
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
    fatal_raise("no data folder with the show's files found; looked in " + list +
                " (make one with qiv-mkdata data, or give one with --data DIR)");
}
