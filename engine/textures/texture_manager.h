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
