// Zero-filled blocks mapped straight from the kernel, on transparent huge pages where allowed.
#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

// Transparent huge pages cover only whole, aligned 2 MB stretches of a mapping.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t roundedUp(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void *obtainZeroedBlock(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  const std::size_t size = roundedUp(bytes);
  // Map one huge page more than needed and trim both ends to an aligned block.
  void *mapped =
      mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(mapped, aligned - start);
  const std::size_t tail = kHugePage - (aligned - start);
  if (tail > 0) munmap(reinterpret_cast<void *>(aligned + size), tail);
  void *block = reinterpret_cast<void *>(aligned);
  // Only a hint: without huge pages the block works the same, page by page.
  madvise(block, size, MADV_HUGEPAGE);
  return block;
}

void releaseZeroedBlock(void *block, std::size_t bytes) {
  if (block != nullptr) munmap(block, roundedUp(bytes));
}
