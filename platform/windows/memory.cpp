// Zero-filled blocks from the C runtime's heap.
#include "platform/memory.h"

#include <cstdlib>

void *obtainZeroedBlock(std::size_t bytes) {
  return bytes == 0 ? nullptr : std::calloc(bytes, 1);
}

void releaseZeroedBlock(void *block, std::size_t) {
  std::free(block);
}
