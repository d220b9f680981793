// engine/render/passes.h - scene render passes, camera and object visibility.
#pragma once

#include <string>

#include "engine/scene/records.h"

extern KST_VECTOR KST_CAMERAPOS;     // camera of the last scene render
extern KST_VECTOR KST_CAMERATARGET;

// The scene render's camera alone (check, projection, camera vectors into
// KST_CAMERAPOS/KST_CAMERATARGET, look-at); lights are not touched.
void    kst_scene_camera(const KST_SCENE& scene, float frame);
void    KST_RENDER_SCENE(KST_SCENE& scene, float frame);
void    KST_RENDER_SCENE_SELECTION(KST_SCENE& scene, float frame);
void    KST_RENDER_SCENE_SHADOWED(KST_SCENE& scene, float frame);
void    KST_DRAW_WIREFRAME(const KST_SCENE& scene, int32_t index, float frame, float grey);
void    KST_CAMERA_SETUP(const KST_SCENE& scene, float frame);
void    KST_CAMERA_SETUP_AT(const KST_SCENE& scene, const KST_VECTOR& eye, const KST_VECTOR& target);
void    KST_RENDER_MIRRORED(KST_SCENE& scene, int32_t mirror, float frame, float sx, float sy, float sz);
void    KST_SHOW_OBJECT(KST_SCENE& scene, const std::string& name);
void    KST_HIDE_OBJECT(KST_SCENE& scene, const std::string& name);
int32_t KST_FIND_OBJECT(const KST_SCENE& scene, const std::string& name);
void    KST_CLEAR_SCREEN();
