// engine/textures/texture_manager.h - the shared table of GL textures.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t TX_NODES = 1001;

struct txNode {
    std::string name;      // the name as requested ("empty" when reset)
    int32_t     glref;     // GL texture name
    bool        uploaded;  // the texture exists with its image
    bool        empty;     // the node is free
    int32_t     type;      // filter type 0..3
    int32_t     reqs;      // outstanding acquisitions
    int32_t     bpp;       // 24 or 32
};

extern txNode   TX_TABLE[TX_NODES];
extern uint32_t TX_FRAMEBUFFER;

void     TX_INIT();
uint32_t TX_LOAD(const std::string& name, int32_t type);
int32_t  TX_BPP(uint32_t glref);
void     TX_RELEASE(uint32_t glref);
void     TX_DUMP(const std::string& filename);
void     TX_FREEALL();

// The .raw file read for a requested image name ("data/stone.jpg" -> "data/stone.raw").
std::string tx_file_for(const std::string& name);
// Reads the image file of `name` again and uploads it into every texture loaded
// under that name (each keeps its GL name, filter type and users), so that an
// edited image shows without a reload of its users. Returns how many textures
// were refreshed (0 when none is loaded under the name; the file is then not
// read). A file that cannot be read or has the wrong size is a fatal error and
// leaves every texture as it was.
int32_t  tx_reload(const std::string& name);
