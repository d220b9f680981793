// support/zpack.cpp - zlib wrapper (see zpack.h).
#include "support/zpack.h"

#include <zlib.h>

#include "support/mem.h"

int32_t ZCOMPRESSIONLEVEL = 9;

void ZSETLEVEL(int32_t level)
{
    ZCOMPRESSIONLEVEL = level;
}

int32_t ZCOMPRESS(const void* source, int32_t length, ZPACK& pack)
{
    long double bound = static_cast<long double>(length) * 1.001L;
    pack.BSIZE = static_cast<int32_t>(static_cast<int64_t>(bound)) + 12;
    pack.CSIZE = pack.BSIZE;
    pack.BUFFER = static_cast<uint8_t*>(MEM_GET(pack.BSIZE, "Z lib (compress)"));
    uLongf csize = static_cast<uLongf>(pack.CSIZE);
    int rc = compress2(pack.BUFFER, &csize, static_cast<const Bytef*>(source),
                       static_cast<uLong>(length), ZCOMPRESSIONLEVEL);
    pack.CSIZE = static_cast<int32_t>(csize);
    return rc;
}

int32_t ZUNCOMPRESS(uint8_t*& destination, int32_t& length, const void* source,
                    int32_t source_length)
{
    destination = static_cast<uint8_t*>(MEM_GET(length, "Z lib (decompress)"));
    uLongf dlen = static_cast<uLongf>(length);
    int rc = uncompress(destination, &dlen, static_cast<const Bytef*>(source),
                        static_cast<uLong>(source_length));
    length = static_cast<int32_t>(dlen);
    return rc;
}
