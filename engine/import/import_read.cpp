// engine/import/import_read.cpp - assimp's read of a model, checked between
// the reader and the post-processing steps, and tried in a child process
// before the importer's own process takes it.
//
// assimp runs a reader and then its post-processing steps (triangulation,
// the primitive sort, smooth normals, vertex joining) in one call, and those
// steps trust the reader's face lists: a face with no corners, which the PLY
// reader makes from a damaged list and assimp's own structure check lets
// through, is counted by the primitive sort at index -1 and crashes the
// program. The read is therefore split in two: the reader and the structure
// check first, then the engine's own check of every mesh (pointers present,
// every face with one corner or more, every corner inside the mesh's
// vertices), and only then the steps. A file that fails the check is refused
// with a message naming the mesh and the face. Normals that are zero are
// dropped at the same point, for the steps to generate.
//
// The readers themselves crash on damaged files too (fuzzing found a glTF
// image whose MIME type has no "/" to crash the glTF 2 reader, after faults
// in one rarely used format after another), and no check of ours can know
// every such fault of a library this size. So the same read first runs in a
// child process made with fork(): when the child dies, the import ends with
// a message naming the file and the signal, and the file never reaches
// assimp in the importer's own process. The child reads what the parent then
// reads again, which costs a second assimp read (the mapping and the packed
// writes that follow are the larger part of an import). The child's stderr
// goes to /dev/null, and a sanitizer's report of a fault inside assimp ends
// the child without running the fuzzer's death callback, so a fuzzing run
// sees the fault as the import error it now is.
//
// The child must never outlive the import: it asks the kernel for SIGKILL
// when its parent dies (and ends at once when the parent is already gone by
// then), and it is given a time limit of its own (SIGALRM, the options'
// read_seconds, ten minutes by default: far beyond what assimp takes for any
// file it reads properly, and short of forever for a reader caught in a loop
// or blocked on a side file that is a pipe). SIGCHLD is at its default while
// the child lives (child_scope), so a parent that ignores it cannot take the
// child's status away.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/import/import_internal.h"
#include "support/child.h"
#include "support/error.h"

// The sanitizer runtimes' hook for a fault they report, present only in
// sanitizer builds.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

std::string read_where(const std::string& source, unsigned mesh)
{
    return source + ": mesh " + std::to_string(mesh);
}

void read_mesh_check(const aiMesh* mesh, unsigned m, const std::string& source)
{
    if (!mesh)
        fatal_raise(read_where(source, m) + " is missing");
    if ((mesh->mNumVertices && !mesh->mVertices) || (mesh->mNumFaces && !mesh->mFaces))
        fatal_raise(read_where(source, m) + " has no vertex or face list");
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices == 0 || !face.mIndices)
            fatal_raise(read_where(source, m) + ", face " + std::to_string(f) + " has no corners");
        for (unsigned k = 0; k < face.mNumIndices; ++k)
            if (face.mIndices[k] >= mesh->mNumVertices)
                fatal_raise(read_where(source, m) + ", face " + std::to_string(f) + " names vertex " +
                            std::to_string(face.mIndices[k]) + " of " + std::to_string(mesh->mNumVertices));
    }
}

// The guard on as much of the file as it needs (kst_import_guard_span).
void read_guard(const std::string& path, const std::string& ext, const std::string& source)
{
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec)
        fatal_raise(source + ": cannot open the model file");
    std::vector<uint8_t> head;
    try {
        head.resize(static_cast<size_t>(std::min(size, kst_import_guard_span(ext))));
    } catch (const std::exception&) {
        fatal_raise(source + ": the model file is too large to check");
    }
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (!in)
        fatal_raise(source + ": cannot read the model file");
    kst_import_guard(head.data(), head.size(), size, ext, source);
}

// Normals that are zero or not finite (STL files often leave them all zero)
// are dropped, the mesh's whole set, so that the smooth-normal step
// generates them from the faces as for a mesh that has none.
void read_drop_bad_normals(aiScene& ai)
{
    for (unsigned m = 0; m < ai.mNumMeshes; ++m) {
        aiMesh& mesh = *ai.mMeshes[m];
        if (!mesh.mNormals)
            continue;
        bool bad = false;
        for (unsigned v = 0; v < mesh.mNumVertices && !bad; ++v) {
            const float len = mesh.mNormals[v].SquareLength();
            bad = !std::isfinite(len) || len < 1e-12f;
        }
        if (bad) {
            delete[] mesh.mNormals;
            mesh.mNormals = nullptr;
        }
    }
}

// What a scene without meshes holds instead: ", only 1 camera and 2 lights",
// or "" when it holds neither.
std::string read_holds(const aiScene& ai)
{
    auto count = [](unsigned n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    const unsigned cameras = ai.mCameras ? ai.mNumCameras : 0, lights = ai.mLights ? ai.mNumLights : 0;
    if (cameras && lights)
        return ", only " + count(cameras, "camera") + " and " + count(lights, "light");
    if (cameras || lights)
        return ", only " + (cameras ? count(cameras, "camera") : count(lights, "light"));
    return "";
}

// The reader (of the file's format only), the check and the steps, with the
// scene's own checks: what kst_import_read runs in the child and then itself.
const aiScene& read_steps(Assimp::Importer& importer, const std::string& path, const std::string& ext,
                          const std::string& source)
{
    const unsigned steps = kst_import_assimp_flags();
    kst_import_readers(importer, ext);
    const aiScene* ai = importer.ReadFile(path, aiProcess_ValidateDataStructure);
    if (ai) {
        kst_import_meshes_check(*ai, source);
        read_drop_bad_normals(const_cast<aiScene&>(*ai));
        ai = importer.ApplyPostProcessing(steps & ~static_cast<unsigned>(aiProcess_ValidateDataStructure));
    }
    if (!ai) {
        std::string why = importer.GetErrorString();
        fatal_raise(source + ": cannot read the model" + (why.empty() ? std::string() : ": " + why));
    }
    if (!ai->mRootNode || ai->mNumMeshes == 0)
        fatal_raise(source + ": the file holds no mesh" + read_holds(*ai));
    if (ai->mFlags & AI_SCENE_FLAGS_INCOMPLETE)
        fatal_raise(source + ": the file holds no complete scene" + read_holds(*ai));
    return *ai;
}

// The most of a refusal's message the child passes on.
constexpr size_t read_message_max = 4096;

// The child: the read, and a refusal's message to the parent through `out`
// (nothing when the read succeeds, or fails in a way other than a refusal,
// which the parent then meets itself).
[[noreturn]] void read_child(const std::string& path, const std::string& ext, const std::string& source, int out,
                             pid_t parent, unsigned seconds)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(1);
    signal(SIGALRM, SIG_DFL);
    alarm(seconds);
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(nullptr);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0)
        dup2(null, STDERR_FILENO);
    std::string message;
    try {
        Assimp::Importer importer;
        read_steps(importer, path, ext, source);
    } catch (const fatal_error& e) {
        message = std::string(e.what()).substr(0, read_message_max);
    } catch (...) {
    }
    for (size_t sent = 0; sent < message.size();) {
        ssize_t n = write(out, message.data() + sent, message.size() - sent);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    _exit(0);
}

// What the child sends until it ends.
std::string read_message(int in)
{
    std::string message;
    char buf[512];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (message.size() < read_message_max)
            message.append(buf, static_cast<size_t>(n));
    }
    close(in);
    return message.substr(0, read_message_max);
}

// Runs the read in a child; fatal naming `source` when the child does not
// come back from it, or with the child's own message when it refused the file.
void read_probe(const std::string& path, const std::string& ext, const std::string& source, unsigned seconds)
{
    child_scope children;
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0)
        fatal_raise(source + ": cannot start the model read: " + std::strerror(errno));
    const pid_t parent = getpid();
    pid_t child = child_scope::fork_child();
    if (child < 0) {
        int err = errno;
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        fatal_raise(source + ": cannot start the model read: " + std::strerror(err));
    }
    if (child == 0) {
        close(pipe_ends[0]);
        read_child(path, ext, source, pipe_ends[1], parent, seconds);
    }
    close(pipe_ends[1]);
    std::string message = read_message(pipe_ends[0]);
    int status = 0;
    if (child_scope::wait_child(child, status, true) < 0)
        fatal_raise(source + ": the model read was lost: " + std::strerror(errno));
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        fatal_raise(source + ": assimp did not finish reading the model within " + std::to_string(seconds) +
                    " s; the file is damaged, or names a side file that never ends");
    if (WIFSIGNALED(status))
        fatal_raise(source + ": assimp crashed reading the model (signal " + std::to_string(WTERMSIG(status)) +
                    ", " + strsignal(WTERMSIG(status)) + "); the file is damaged or holds what assimp cannot read");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fatal_raise(source + ": assimp stopped reading the model (status " + std::to_string(WEXITSTATUS(status)) +
                    "); the file is damaged or holds what assimp cannot read");
    if (!message.empty())
        fatal_raise(message);
}

}  // namespace

void kst_import_meshes_check(const aiScene& ai, const std::string& source)
{
    if (ai.mNumMeshes && !ai.mMeshes)
        fatal_raise(source + ": the file's mesh list is missing");
    for (unsigned m = 0; m < ai.mNumMeshes; ++m)
        read_mesh_check(ai.mMeshes[m], m, source);
}

const aiScene& kst_import_read(Assimp::Importer& importer, const std::string& path, const std::string& source,
                               unsigned seconds)
{
    const std::string ext = imp_lower_ext(path);
    read_guard(path, ext, source);
    read_probe(path, ext, source, seconds);
    return read_steps(importer, path, ext, source);
}
