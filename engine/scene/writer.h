// engine/scene/writer.h - writing .kst scene files.
#pragma once

#include <string>

#include "engine/scene/records.h"

// Writes the scene (format 1.2); the file is replaced atomically.
void KST_SCENE_SAVE(const KST_SCENE& scene, const std::string& filename);
