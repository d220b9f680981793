// support/atomic_file.cpp - write-then-rename files (see atomic_file.h).
#include "support/atomic_file.h"

#include <cerrno>
#include <cstring>
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

atomic_file::atomic_file(const std::string& path) : path_(path)
{
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
        unlink(temp_.c_str());
    }
}

void atomic_file::write(const void* data, size_t size)
{
    if (size && std::fwrite(data, 1, size, file_) != size)
        fatal_raise(path_ + ": write failed: " + atomic_file_reason());
}

void atomic_file::commit()
{
    bool ok = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    // mkstemp creates mode 0600; give the file the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    chmod(temp_.c_str(), 0666 & ~mask);
    if (!ok || std::rename(temp_.c_str(), path_.c_str()) != 0) {
        std::string reason = atomic_file_reason();
        unlink(temp_.c_str());
        fatal_raise(path_ + ": write failed: " + reason);
    }
}
