// Result blocks handed to the caller.
#include "block.h"

#include "securebytes.h"

#include <cstdlib>
#include <cstring>
#include <new>

struct goma_block {
    char *data = nullptr;
    size_t size = 0;
    int charset = GOMA_CHARSET_SHIFTJIS;
};

namespace goma {

GOMA_HGLOBAL makeBlock(const char *bytes, size_t size, int charset)
{
    auto *block = new (std::nothrow) goma_block;
    if (!block)
        return nullptr;
    block->data = static_cast<char *>(std::malloc(size + 1));
    if (!block->data) {
        delete block;
        return nullptr;
    }
    if (size)
        std::memcpy(block->data, bytes, size);
    block->data[size] = '\0';
    block->size = size;
    block->charset = charset;
    return block;
}

} // namespace goma

extern "C" {

GOMA_API const char *GOMABlockLock(GOMA_HGLOBAL block) { return block ? block->data : nullptr; }

GOMA_API size_t GOMABlockSize(GOMA_HGLOBAL block) { return block ? block->size : 0; }

GOMA_API int GOMABlockCharset(GOMA_HGLOBAL block) { return block ? block->charset : GOMA_CHARSET_SHIFTJIS; }

GOMA_API void GOMABlockUnlock(GOMA_HGLOBAL) {}

GOMA_API void GOMABlockFree(GOMA_HGLOBAL block)
{
    if (!block)
        return;
    goma::wipeMemory(block->data, block->size + 1);
    std::free(block->data);
    delete block;
}

} // extern "C"
