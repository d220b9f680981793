// support/atomic_file.cpp - write-then-rename files (see atomic_file.h).
//
// A target that exists and is not a regular file (a device such as /dev/null
// or /dev/full, a pipe) cannot be replaced by renaming - root could rename a
// temporary file over the device node itself - so such a target is written
// directly, and a failed write is still reported; a folder is refused.
#include "support/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "support/error.h"

static std::string atomic_file_reason()
{
    return std::strerror(errno);
}

// A temporary name in the target's folder whose last component has a fixed,
// short length: the target's own name may already use up the 255 bytes a
// name can have, so nothing is appended to it.
static std::string atomic_file_temp_name(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + ".atomic-XXXXXX";
}

// True (and file_ opened) when path names an existing non-regular file.
static bool atomic_file_open_special(const std::string& path, FILE*& file)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return false;
    if (S_ISDIR(st.st_mode))
        fatal_raise(path + ": cannot create file: it is a folder");
    file = std::fopen(path.c_str(), "wb");
    if (!file)
        fatal_raise(path + ": cannot create file: " + atomic_file_reason());
    return true;
}

atomic_file::atomic_file(const std::string& path) : path_(path)
{
    if (atomic_file_open_special(path, file_))
        return;  // temp_ stays empty: written in place
    temp_ = atomic_file_temp_name(path);
    int fd = mkstemp(temp_.data());
    if (fd < 0)
        fatal_raise(path + ": cannot create file: " + atomic_file_reason());
    file_ = fdopen(fd, "wb");
    if (!file_) {
        close(fd);
        unlink(temp_.c_str());
        fatal_raise(path + ": cannot create file: " + atomic_file_reason());
    }
}

atomic_file::~atomic_file()
{
    if (file_) {
        std::fclose(file_);
        if (!temp_.empty())
            unlink(temp_.c_str());
    }
}

void atomic_file::write(const void* data, size_t size)
{
    if (size && std::fwrite(data, 1, size, file_) != size)
        fatal_raise(path_ + ": write failed: " + atomic_file_reason());
}

std::string atomic_file::stage()
{
    if (temp_.empty()) {
        commit();
        return "";
    }
    bool ok = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    // mkstemp creates mode 0600; give the file the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    chmod(temp_.c_str(), 0666 & ~mask);
    if (!ok) {
        std::string reason = atomic_file_reason();
        unlink(temp_.c_str());
        fatal_raise(path_ + ": write failed: " + reason);
    }
    return temp_;
}

void atomic_file::commit()
{
    if (temp_.empty()) {  // a device or pipe: no rename, no fsync
        bool flushed = std::fflush(file_) == 0;
        std::string reason = atomic_file_reason();
        bool closed = std::fclose(file_) == 0;
        if (flushed)
            reason = atomic_file_reason();
        file_ = nullptr;
        if (!flushed || !closed)
            fatal_raise(path_ + ": write failed: " + reason);
        return;
    }
    const std::string staged = stage();  // flushed, synced, closed, given the usual permissions
    std::error_code ec;
    std::filesystem::rename(staged, path_, ec);  // replaces the target, on every system
    if (ec) {
        unlink(temp_.c_str());
        fatal_raise(path_ + ": write failed: " + ec.message());
    }
}

// --- renaming a set of files ---------------------------------------------------
struct atomic_move {
    std::string staged, target, old;   // old: second name of the previous target, "" when none
    bool        done = false;
};

// Gives an existing regular target a second name; false (and why) when it
// has one to keep and cannot.
static bool atomic_keep_old(atomic_move& m, std::string& reason)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(m.target, ec)))
        return true;
    std::string name = atomic_file_temp_name(m.target);
    name.replace(name.size() - 6, 0, "old-");
    int fd = mkstemp(name.data());
    if (fd < 0) {
        reason = atomic_file_reason();
        return false;
    }
    close(fd);
    unlink(name.c_str());
    std::filesystem::create_hard_link(m.target, name, ec);
    if (ec) {
        reason = ec.message();
        return false;
    }
    m.old = name;
    return true;
}

// Puts everything back as it was before atomic_rename_all began.
static void atomic_roll_back(std::vector<atomic_move>& moves)
{
    for (atomic_move& m : moves) {
        std::error_code ec;
        if (m.done && !m.old.empty())
            std::filesystem::rename(m.old, m.target, ec);
        else if (m.done)
            unlink(m.target.c_str());
        else
            unlink(m.staged.c_str());
        if (!m.done && !m.old.empty())
            unlink(m.old.c_str());
    }
}

void atomic_rename_all(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::vector<atomic_move> moves;
    for (const auto& [staged, target] : pairs)
        moves.push_back({staged, target, "", false});
    std::string reason;
    for (atomic_move& m : moves) {
        if (atomic_keep_old(m, reason))
            continue;
        atomic_roll_back(moves);
        fatal_raise(m.target + ": write failed: " + reason);
    }
    for (atomic_move& m : moves) {
        std::error_code ec;
        std::filesystem::rename(m.staged, m.target, ec);
        if (!ec) {
            m.done = true;
            continue;
        }
        atomic_roll_back(moves);
        fatal_raise(m.target + ": write failed: " + ec.message());
    }
    for (atomic_move& m : moves)
        if (!m.old.empty())
            unlink(m.old.c_str());
}
