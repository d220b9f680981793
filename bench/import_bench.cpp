// bench/import_bench.cpp - `kestrel import` of glTF files, per 100 000 faces.
//
// BM_ImportGltf59 imports a binary glTF of 75 000 faces in 59 meshes (built
// here: 59 bumpy strips with normals and texture coordinates, written by
// assimp's own glTF exporter), the whole way the command goes: assimp's read
// and post-processing, the mapping with welding and neighbours, the texture
// and scene writes and the load back. The target is under 2 s for this file.
// BM_ImportEngine does the same for the package's 2CylinderEngine.glb
// (115 mesh instances, 121 496 faces) when assimp-testmodels is installed.
// Both report "ms_per_100k_faces", the wall-clock import time scaled to
// 100 000 faces, and "cpu_ms_per_100k_faces", the processor time of the same
// (the figure to read on a loaded machine).
#include <assimp/Exporter.hpp>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>

#include "engine/import/import.h"

namespace fs = std::filesystem;

namespace {

// A strip of `quads` cells, two rows of vertices, gently bumped.
aiMesh* bench_strip(unsigned quads, unsigned index)
{
    auto* m = new aiMesh;
    m->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    m->mName = aiString("strip" + std::to_string(index));
    m->mNumVertices = 2 * (quads + 1);
    m->mVertices = new aiVector3D[m->mNumVertices];
    m->mNormals = new aiVector3D[m->mNumVertices];
    m->mTextureCoords[0] = new aiVector3D[m->mNumVertices];
    m->mNumUVComponents[0] = 2;
    for (unsigned i = 0; i <= quads; ++i)
        for (unsigned r = 0; r < 2; ++r) {
            unsigned v = 2 * i + r;
            float x = i * 0.01f, y = std::sin(i * 0.05f) * 0.1f;
            m->mVertices[v] = aiVector3D(x, y, r * 0.05f + index * 0.1f);
            m->mNormals[v] = aiVector3D(0, 1, 0);
            m->mTextureCoords[0][v] = aiVector3D(static_cast<float>(i) / quads, static_cast<float>(r), 0);
        }
    m->mNumFaces = 2 * quads;
    m->mFaces = new aiFace[m->mNumFaces];
    for (unsigned q = 0; q < quads; ++q)
        for (unsigned t = 0; t < 2; ++t) {
            aiFace& f = m->mFaces[2 * q + t];
            f.mNumIndices = 3;
            unsigned a = 2 * q;
            f.mIndices = t == 0 ? new unsigned[3]{a, a + 2, a + 1} : new unsigned[3]{a + 1, a + 2, a + 3};
        }
    return m;
}

// 59 meshes, 75 000 faces, one node each, written as glb.
std::string bench_model()
{
    static std::string path;
    if (!path.empty())
        return path;
    const unsigned meshes = 59, quads = 37500;
    auto s = std::make_unique<aiScene>();
    s->mNumMaterials = 1;
    s->mMaterials = new aiMaterial*[1]{new aiMaterial};
    s->mNumMeshes = meshes;
    s->mMeshes = new aiMesh*[meshes];
    s->mRootNode = new aiNode("root");
    s->mRootNode->mNumChildren = meshes;
    s->mRootNode->mChildren = new aiNode*[meshes];
    for (unsigned i = 0; i < meshes; ++i) {
        unsigned q = quads / meshes + (i < quads % meshes ? 1 : 0);
        s->mMeshes[i] = bench_strip(q, i);
        aiNode* n = new aiNode("part" + std::to_string(i));
        n->mParent = s->mRootNode;
        n->mNumMeshes = 1;
        n->mMeshes = new unsigned[1]{i};
        s->mRootNode->mChildren[i] = n;
    }
    path = (fs::temp_directory_path() / "kestrel-bench-59.glb").string();
    Assimp::Exporter exporter;
    if (exporter.Export(s.get(), "glb2", path) != AI_SUCCESS)
        path.clear();
    return path;
}

void bench_import(benchmark::State& state, const std::string& model)
{
    if (model.empty() || !fs::exists(model)) {
        state.SkipWithError("model file not available");
        return;
    }
    fs::path dir = fs::temp_directory_path() / "kestrel-bench-import";
    fs::create_directories(dir);
    kst_import_summary summary;
    double seconds = 0, cpu = 0;
    for (auto _ : state) {
        summary = kst_import_summary{};
        auto t0 = std::chrono::steady_clock::now();
        std::clock_t c0 = std::clock();
        KST_IMPORT_FILE(model, (dir / "bench.kst").string(), kst_import_options{}, summary);
        cpu += static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    state.counters["faces"] = static_cast<double>(summary.faces);
    state.counters["objects"] = summary.objects;
    const double scale = 1000.0 * 100000.0 / std::max<double>(1, summary.faces) / state.iterations();
    state.counters["ms_per_100k_faces"] = seconds * scale;
    state.counters["cpu_ms_per_100k_faces"] = cpu * scale;
    fs::remove_all(dir);
}

void BM_ImportGltf59(benchmark::State& state)
{
    bench_import(state, bench_model());
}

void BM_ImportEngine(benchmark::State& state)
{
    bench_import(state, "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb");
}

}  // namespace

BENCHMARK(BM_ImportGltf59)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ImportEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
