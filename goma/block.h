#ifndef GOMA_BLOCK_H
#define GOMA_BLOCK_H
#include "goma.h"

#include <cstddef>
#include <memory>

namespace goma {
// A new result block holding a copy of the bytes and a terminating NUL; nullptr when out of memory.
// charset: what the bytes are (GOMA_CHARSET_SHIFTJIS or GOMA_CHARSET_UTF8).
GOMA_HGLOBAL makeBlock(const char *bytes, std::size_t size, int charset = GOMA_CHARSET_SHIFTJIS);

// A block owned until it is handed to the caller (release()); freeing wipes it.
struct BlockDeleter {
    void operator()(GOMA_HGLOBAL block) const noexcept { GOMABlockFree(block); }
};
using BlockPtr = std::unique_ptr<goma_block, BlockDeleter>;
} // namespace goma
#endif
