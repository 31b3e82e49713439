#ifndef GOMA_BLOCK_H
#define GOMA_BLOCK_H
#include "goma.h"

#include <cstddef>

namespace goma {
// A new result block holding a copy of the bytes and a terminating NUL; nullptr when out of memory.
GOMA_HGLOBAL makeBlock(const char *bytes, std::size_t size);
} // namespace goma
#endif
