// engine/render/flares.h - flares: glowing camera-facing squares at objects.
//
// Any object whose material has a positive FLARESIZE is a flare. A flare's
// brightness follows how much of its position the camera can see, measured on
// the GPU rather than by ray casts against the meshes: KST_FLARES_VISIBILITY
// draws a small point in the flare's AMBIENT colour at each flare position,
// draws every other visible object in black (KST_DRAW_OCCLUDER), and reads back
// the 3 x 3 pixels around each point (both sizes are for a 480-line picture
// and grow with KST_PIXEL_SCALE: at 1080 lines the point is 11 pixels wide
// and the block 7 x 7); the brightest red, green and blue found
// become the flare's TEMPCOLOR. KST_FLARES_RENDER then draws each flare with
// its material texture, half-diagonal FLARESIZE, in TEMPCOLOR, additively and
// without depth test, so the flare glows over everything and fades only by
// what the last visibility step measured.
//
// The visibility step leaves its points and occluders in the colour and depth
// buffers and hides the flare meshes (VISIBLE false); an application clears the
// frame and draws the scene between the two steps. Objects with a negative
// FLARESIZE are neither flares nor occluders.
//
// A flare outside the view has no valid raster position: it reads black, so it
// adds nothing. Near the window's edge the 3 x 3 block is cut to the viewport,
// so the read-back never leaves the window. An object whose material index is
// out of range is neither flare nor occluder, and an occluder whose indices
// fall outside its vertex array is not drawn.
#pragma once

#include "engine/scene/records.h"

// Size of the visibility point in pixels at 480 lines (see KST_PIXEL_SCALE).
constexpr float KST_FLAREPOINTSIZE = 5.0f;

void KST_FLARES_VISIBILITY(KST_SCENE& scene, float frame);
void KST_DRAW_OCCLUDER(const KST_SCENE& scene, int32_t index, float frame);
void KST_FLARES_RENDER(KST_SCENE& scene, float frame);
