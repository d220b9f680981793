// engine/scene/textures.h - binding a scene's textures through the texture manager.
#pragma once

#include <string>
#include <vector>

#include "engine/scene/records.h"

void KST_SCENE_TEXTURES(KST_SCENE& scene, const std::string& directory);
void KST_SCENE_FREETEXTURES(KST_SCENE& scene);
// The file KST_SCENE_TEXTURES reads for texture `name` of a scene bound from
// `directory` (the texture manager's .raw name of "directory/name", cut
// where the manager cuts it), for checks made without a GL context.
std::string kst_scene_texture_file(const std::string& directory, const KST_NAME& name);
// The texture manager names KST_SCENE_TEXTURES asks for, each once, in the
// order it asks (the framebuffer texture, which has no file, left out): what a
// watcher of the scene's image files looks at.
std::vector<std::string> kst_scene_texture_names(const KST_SCENE& scene, const std::string& directory);
// The bound materials' texture depths follow images uploaded again (tx_reload).
void kst_scene_texture_types(KST_SCENE& scene);
