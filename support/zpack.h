// support/zpack.h - a thin layer over zlib's one-call compressor and inflater.
//
// ZCOMPRESS allocates its own output block (zlib's documented worst case for
// compress2: input + 0.1 % + 12 bytes) and compresses at the process-wide level
// ZCOMPRESSIONLEVEL (9 at start). ZUNCOMPRESS allocates the expected inflated
// size, inflates into it and reports how much was written. zlib's result codes
// are passed through unchanged (0 ok, -2 bad level, -3 corrupt data, -4 no
// memory, -5 output too small); the caller owns and frees the blocks, also
// after a failure.
#pragma once

#include <cstdint>

struct ZPACK {
    uint8_t* BUFFER;  // compressed data, allocated by ZCOMPRESS, owned by the caller
    int32_t  CSIZE;   // number of valid bytes in BUFFER
    int32_t  BSIZE;   // allocated size of BUFFER
};

extern int32_t ZCOMPRESSIONLEVEL;

void    ZSETLEVEL(int32_t level);
int32_t ZCOMPRESS(const void* source, int32_t length, ZPACK& pack);
int32_t ZUNCOMPRESS(uint8_t*& destination, int32_t& length, const void* source,
                    int32_t source_length);
