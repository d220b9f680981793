// engine/scene/textures.h - binding a scene's textures through the texture manager.
#pragma once

#include <string>

#include "engine/scene/records.h"

void KST_SCENE_TEXTURES(KST_SCENE& scene, const std::string& directory);
void KST_SCENE_FREETEXTURES(KST_SCENE& scene);
