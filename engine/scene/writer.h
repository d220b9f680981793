// engine/scene/writer.h - writing .kst scene files.
#pragma once

#include <string>

#include "engine/scene/records.h"

// Writes the scene (format 1.2); the file is replaced atomically.
void KST_SCENE_SAVE(const KST_SCENE& scene, const std::string& filename);

// The bytes KST_SCENE_SAVE writes, built in memory.
std::string kst_scene_save_bytes(const KST_SCENE& scene);

// Number of chunks the writer produces for this scene (the value of chunk 87).
int32_t kst_scene_chunk_count(const KST_SCENE& scene);
