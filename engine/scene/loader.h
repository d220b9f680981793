// engine/scene/loader.h - reading .kst scene files.
//
// KST_SCENE_LOAD reads the chunked file into a caller-owned KST_SCENE and
// prepares it (prepare.h) in the same call. Bad chunks that can be stepped over
// are reported through ERROR_REPORT; input/output failures and scenes that break
// the renderer's invariants are fatal errors naming the file.
#pragma once

#include <string>

#include "engine/scene/records.h"

extern int32_t KST_DATALENGTH[16];   // element size per element type
extern uint8_t KST_FORMATMAJOR;      // 1
extern uint8_t KST_FORMATMINOR;      // 2

void KST_SCENE_LOAD(KST_SCENE& scene, const std::string& filename);
