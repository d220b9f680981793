// engine/import/import_read.cpp - assimp's read of a model, checked between
// the reader and the post-processing steps.
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
// with a message naming the mesh and the face.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <string>

#include "engine/import/import.h"
#include "support/error.h"

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

}  // namespace

void kst_import_meshes_check(const aiScene& ai, const std::string& source)
{
    if (ai.mNumMeshes && !ai.mMeshes)
        fatal_raise(source + ": the file's mesh list is missing");
    for (unsigned m = 0; m < ai.mNumMeshes; ++m)
        read_mesh_check(ai.mMeshes[m], m, source);
}

const aiScene& kst_import_read(Assimp::Importer& importer, const std::string& path, const std::string& source)
{
    const unsigned steps = kst_import_assimp_flags();
    const aiScene* ai = importer.ReadFile(path, aiProcess_ValidateDataStructure);
    if (ai)
        kst_import_meshes_check(*ai, source);
    if (ai)
        ai = importer.ApplyPostProcessing(steps & ~static_cast<unsigned>(aiProcess_ValidateDataStructure));
    if (!ai) {
        std::string why = importer.GetErrorString();
        fatal_raise(source + ": cannot read the model" + (why.empty() ? std::string() : ": " + why));
    }
    if (!ai->mRootNode || ai->mNumMeshes == 0)
        fatal_raise(source + ": the file holds no mesh");
    if (ai->mFlags & AI_SCENE_FLAGS_INCOMPLETE)
        fatal_raise(source + ": the file holds no complete scene");
    return *ai;
}
