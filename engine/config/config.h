// engine/config/config.h - scene configuration files: reader, writer, geometry dump.
//
// A configuration file is a line-oriented text file that overrides settings of
// a scene already in memory, addressed by name:
//
//     camerafov=0.7854
//     motion=3
//     material(wood).shine=20
//     object(ship).deltavector=-1.5000,10.0000,0.2500
//     light(sun).enabled=1
//
// CONFIG_READ applies such a file to a scene and recomputes MAXPASS; it changes
// fields only (no allocation, no texture loading, no new entries). CONFIG_WRITE
// saves a scene's tunable settings in the same syntax, deriving each material's
// blend line and each object's pass line from the bound texture's bit depth.
// CONFIG_GEOMETRYDUMP writes every object's vertices and faces as two text files.
//
// FEATURES
//   - Lines are read whole up to 255 characters and never trimmed; "#" starts a
//     comment; unknown leading words and keys are ignored.
//   - Values: lenient floats and integers (bad text reads as 0), flags (only "1"
//     is true), texts, comma-separated triples, and strict integers for the
//     object keys "material", "rendermode", "passno", "colorattrib" and
//     "newparticle", whose bad text is a fatal error quoting file, line and text.
//   - A line naming no material, object or light changes nothing and is
//     reported; when names repeat, the last entry with the name is changed.
//   - An object's "material" index outside 0..MATERIALS-1 is refused (reported,
//     the old index kept), so the renderer never indexes outside the materials.
//
// DEPENDENCIES
//   support/error.h (reports, fatal errors), support/numparse.h (conversions),
//   support/atomic_file.h (every file is written to a temporary and renamed).
//
// CONFIGURATION
//   Files are written with "\n" line ends; the reader also accepts "\r\n".
//   f4 values are written as "%.4f"; a value that rounds to zero is written
//   0.0000 (never -0.0000), NaN as nan and infinities as inf / -inf (those read
//   back as 0).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/scene/records.h"

// --- reader -------------------------------------------------------------------------
// Applies the file to the scene. A file that cannot be opened is reported as
// "Config file (<name>) not found." and then raised as a fatal read error.
void CONFIG_READ(KST_SCENE& scene, const std::string& filename);
// Same, from an open stream; name is used in messages only. Does not close it.
void config_read_stream(KST_SCENE& scene, FILE* stream, const std::string& name);

// Index of the last entry with this exact name, or -1 when none has it.
int32_t CONFIG_MATERIALINDEX(const KST_SCENE& scene, const std::string& name);
int32_t CONFIG_OBJECTINDEX(const KST_SCENE& scene, const std::string& name);
int32_t CONFIG_LIGHTINDEX(const KST_SCENE& scene, const std::string& name);

// Apply one key to the entry selected by name. A strict object value that is
// no integer raises fatal_error.
void CONFIG_MATERIALKEY(KST_SCENE& scene, const std::string& name, const std::string& key,
                        const std::string& value);
void CONFIG_OBJECTKEY(KST_SCENE& scene, const std::string& name, const std::string& key,
                      const std::string& value);
void CONFIG_LIGHTKEY(KST_SCENE& scene, const std::string& name, const std::string& key,
                     const std::string& value);

// Line splitters. A piece whose delimiters are missing or out of order is empty.
std::string CONFIG_LINEWORD(const std::string& line);   // before the first "=", "(" or "."
std::string CONFIG_LINENAME(const std::string& line);   // between the first "(" and ")"
std::string CONFIG_LINEKEY(const std::string& line);    // between the first "." and "="
std::string CONFIG_LINEVALUE(const std::string& line);  // after the first "="
// Component 1..3 of a comma-separated triple; missing components are empty.
std::string CONFIG_COMPONENT(const std::string& text, int32_t component);

// Highest PASSNO of the scene's objects, never below 0.
int32_t config_max_pass(const KST_SCENE& scene);

// --- writer -------------------------------------------------------------------------
// Writes the scene's configuration file (replaced atomically; fatal on failure).
void CONFIG_WRITE(const KST_SCENE& scene, const std::string& filename);
// The file's text, as CONFIG_WRITE writes it.
std::string config_write_text(const KST_SCENE& scene);
// Writes base + "v" (vertices) and base + "f" (faces).
void CONFIG_GEOMETRYDUMP(const KST_SCENE& scene, const std::string& base);

// Value formats of the file.
std::string config_f4(float value);                            // fixed, four decimals
std::string config_triple(float a, float b, float c);          // f4,f4,f4
