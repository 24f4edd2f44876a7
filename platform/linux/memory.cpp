// Zero-filled blocks mapped straight from the kernel, on transparent huge pages where allowed.
#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

// Under AddressSanitizer the blocks come from its heap instead, which watches their edges: a read
// or write past a plane or a picture is caught, and a fuzzer's limit on one allocation holds.
#ifdef BMPSPECTRUM_CHECKED_HEAP
constexpr bool kFromCheckedHeap = true;
#else
constexpr bool kFromCheckedHeap = false;
#endif

// Transparent huge pages cover only whole, aligned 2 MB stretches of a mapping.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The mapping's length: whole huge pages for a block of at least one that fills at least half of
// its last one (a 3 MB picture takes two faults instead of 768); whole small pages for a smaller
// block, or past the last whole huge page for a shorter tail (a plane of 4 MB and a few rows'
// padding), where a huge page would give far more memory than was asked for.
std::size_t mappedBytes(std::size_t bytes) {
  const bool hugeTail = bytes >= kHugePage && bytes % kHugePage >= kHugePage / 2;
  const std::size_t unit = hugeTail ? kHugePage : static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + unit - 1) / unit * unit;
}

}  // namespace

void *obtainZeroedBlock(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  if (kFromCheckedHeap) return std::calloc(bytes, 1);
  const std::size_t size = mappedBytes(bytes);
  if (size < kHugePage) {
    void *block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
  }
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
  if (kFromCheckedHeap) {
    std::free(block);
  } else if (block != nullptr) {
    munmap(block, mappedBytes(bytes));
  }
}
