// tests/render_fx/pending_links.cpp - stand-ins until the spline, pass and
// texture modules are linked in. Weak, so the real definitions win as soon as
// they exist; they only serve the still cameras and untracked objects used here.
#include "engine/render/passes.h"
#include "engine/scene/spline.h"
#include "engine/textures/texture_manager.h"

__attribute__((weak)) KST_VECTOR KST_CAMERAPOS = {0, 0, 0};
__attribute__((weak)) KST_VECTOR KST_CAMERATARGET = {0, 0, 0};
__attribute__((weak)) uint32_t   TX_FRAMEBUFFER = 0;

__attribute__((weak)) void SPLINE_CAMVECTORS(KST_VECTOR& pos, KST_VECTOR& target, const KST_SCENE& scene, float)
{
    pos = scene.CAMPOSKEYS > 0 ? KST_VECTOR{scene.CAMPOSITION[0].X, scene.CAMPOSITION[0].Y, scene.CAMPOSITION[0].Z}
                               : KST_VECTOR{0, 0, 0};
    target = scene.CAMTARGETKEYS > 0 ? KST_VECTOR{scene.CAMTARGET[0].X, scene.CAMTARGET[0].Y, scene.CAMTARGET[0].Z}
                                     : KST_VECTOR{0, 0, 0};
}

__attribute__((weak)) void SPLINE_LINEAR_POS(KST_VECTOR& pos, const KST_SCENE& scene, int32_t index, float)
{
    const KST_OBJECT& o = scene.OBJ[index];
    pos = o.POSKEYS > 0 ? KST_VECTOR{o.POSITION[0].X, o.POSITION[0].Y, o.POSITION[0].Z} : KST_VECTOR{0, 0, 0};
}
