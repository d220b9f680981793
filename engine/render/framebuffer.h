// engine/render/framebuffer.h - the framebuffer texture: what was on screen, as a texture.
//
// The renderer keeps one square RGBA texture into which the lower-left corner
// of the current read buffer can be copied, so that a later draw can show the
// picture as a texture (feedback trails, screens within the scene). The copy is
// a straight glCopyTexImage2D of KST_FRAMEBUFFERSIZE x KST_FRAMEBUFFERSIZE
// pixels from the viewport's lower-left corner (the picture's corner, inside
// any bars around it): no scaling, so in a 640 x 480 picture the texture holds
// the lower-left 256 x 256 pixels, not the whole picture. The texture keeps
// its size at every picture size, and the copy stays 1:1: in a larger picture
// it holds a smaller part of it (at 1440 x 1080, the lower-left 18 % by 24 %
// rather than 40 % by 53 %), at the picture's full sharpness.
//
// KST_FRAMEBUFFER_INIT also hands the texture to the texture manager's
// TX_FRAMEBUFFER handle, so materials named "$framebuffer$.jpg" that are bound
// after it (KST_SCENE_TEXTURES) show the grabbed picture. Materials bound
// before it keep the handle they were given (0, no texture). The texture is
// not in the texture manager's table: releasing such a material leaves it alone.
//
// The picture is black until the first grab. Before KST_FRAMEBUFFER_INIT the
// edge length is 0 and the texture name 0, so a grab copies nothing. Calling
// KST_FRAMEBUFFER_INIT again creates a further texture and forgets the previous one.
#pragma once

#include <cstdint>

extern int32_t  KST_FRAMEBUFFERSIZE;     // edge length in pixels; 0 until init, then 256
extern uint32_t KST_FRAMEBUFFERTEXTURE;  // GL texture name; 0 until init

void KST_FRAMEBUFFER_INIT();
void KST_FRAMEBUFFER_GRAB();
