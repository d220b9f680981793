// tools/kestrel/scene_json.h - a prepared scene as JSON (kestrel dump).
//
// Members are the record field names; every stored and derived field is
// included except the scene's PARTICLE, VOLUMEARRAY, VOLUMEARRAYINDEX and
// MAINDATA, the objects' LIGHTVISIBLE and CONTOUR, and the engine's own
// bookkeeping (kst_volume_slots). Arrays are read only up to their count
// fields, and optional per-vertex arrays only when their flag says they are
// present, which is exactly what the loader has checked.
//
// Number format: floats are printed with %.9g (so they read back as the same
// 32-bit float); NaN and infinities become the strings "nan", "inf", "-inf".
// Names are Latin-1 text and become UTF-8 JSON strings.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/scene/records.h"

nlohmann::ordered_json kst_scene_json(const KST_SCENE& scene);

// The JSON text: objects one member per line, arrays of plain values on one
// line, floats with %.9g. Ends with a newline.
std::string kst_json_text(const nlohmann::ordered_json& value);

// Latin-1 bytes to UTF-8.
std::string kst_latin1_to_utf8(const std::string& text);
