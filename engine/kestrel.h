// kestrel.h - the Kestrel engine in one include: #include <kestrel/kestrel.h>.
//
// The public face of the installed engine library (libkestrel.a, CMake target
// Kestrel::kestrel, pkg-config module kestrel): the scene records, the file
// loader, preparation and writer, the scene's textures and the shared texture
// manager, the renderer (passes and camera, mesh drawing, particles, flares,
// stencil shadows, the framebuffer texture), key-frame tracks, configuration
// files, model import when the engine was built with it, and the fatal-error
// and report hooks every operation uses. It includes no SDL and nothing from
// the demo shell: opening a window or an off-screen context is the platform
// module's job (platform/glcontext.h, Kestrel::platform).
//
// Installed, this file is include/kestrel/kestrel.h and the module headers sit
// beside it under include/kestrel/engine/, include/kestrel/support/ and
// include/kestrel/platform/; consumers get both include/ and include/kestrel/
// on their include path. Every engine operation needs a current GL context
// except loading, preparing, writing and the configuration reader and writer.
#pragma once

#include "kestrel_version.h"

#include "support/error.h"
#include "support/mem.h"

#include "engine/scene/records.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "engine/scene/skin.h"
#include "engine/scene/textures.h"
#include "engine/scene/spline.h"
#include "engine/scene/vecmath.h"

#include "engine/textures/texture_manager.h"

#include "engine/render/render_common.h"
#include "engine/render/passes.h"
#include "engine/render/draw.h"
#include "engine/render/particles.h"
#include "engine/render/flares.h"
#include "engine/render/shadows.h"
#include "engine/render/framebuffer.h"

#include "engine/config/config.h"

// Model import and export arrive as a module of their own; engines built
// without it simply leave the declarations out.
#if defined(__has_include)
#if __has_include("engine/import/import.h")
#include "engine/import/import.h"
#define KESTREL_HAS_IMPORT 1
#endif
#endif
