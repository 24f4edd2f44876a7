// Storage for the display records and the working planes.
#include "common/dib_view.h"

#include <cstddef>

#include "platform/memory.h"

DibView sourceView{};
DibView spectrumView{};
std::mutex spectrumPixelsLock;

float *realPlane[kPlaneCapacity];
float *imagPlane[kPlaneCapacity];
float *magnitudePlane[kPlaneCapacity];

namespace {

// The block each view's pixels came from, with its size, kept for giving it back.
struct PixelBlock {
  void *start;
  std::size_t bytes;
};
PixelBlock pixelBlocks[2];

PixelBlock &blockOf(const DibView &view) {
  return pixelBlocks[&view == &sourceView ? 0 : 1];
}

// Each plane's rows are one block, row 0 at its start; its size is kept for the release.
std::size_t planeBytes[3];

std::size_t &bytesOf(float *(&plane)[kPlaneCapacity]) {
  return planeBytes[&plane == &realPlane ? 0 : &plane == &imagPlane ? 1 : 2];
}

// Only a block that allocatePlane obtained is given back; rows set from elsewhere are left.
void releasePlane(float *(&plane)[kPlaneCapacity]) {
  if (bytesOf(plane) != 0) releaseZeroedBlock(plane[0], bytesOf(plane));
  bytesOf(plane) = 0;
  for (float *&row : plane) row = nullptr;
}

}  // namespace

bool allocatePixels(DibView &view, std::size_t bytes) {
  releasePixels(view);
  PixelBlock &block = blockOf(view);
  block.start = obtainZeroedBlock(bytes);
  block.bytes = block.start != nullptr ? bytes : 0;
  view.pixels = static_cast<std::uint8_t *>(block.start);
  return block.start != nullptr;
}

void releasePixels(DibView &view) {
  PixelBlock &block = blockOf(view);
  if (view.pixels == block.start) view.pixels = nullptr;
  releaseZeroedBlock(block.start, block.bytes);
  block = PixelBlock{};
}

bool allocatePlane(float *(&plane)[kPlaneCapacity], int rows) {
  releasePlane(plane);
  // Rows a page and two cache lines apart: a page apart, a column's elements would all fall in
  // the same few cache sets, and passes that touch a column of rows at once would evict their own
  // lines (the whole computation took 5 % longer).
  const std::size_t rowFloats = kPlaneCapacity + 2 * 64 / sizeof(float);
  const std::size_t rowBytes = rowFloats * sizeof(float);
  const std::size_t bytes = rowBytes * static_cast<std::size_t>(rows);
  auto *block = static_cast<float *>(obtainZeroedBlock(bytes));
  if (block == nullptr) return false;
  bytesOf(plane) = bytes;
  for (int y = 0; y < rows; ++y) plane[y] = block + static_cast<std::size_t>(y) * rowFloats;
  return true;
}

void releasePlanes() {
  releasePlane(realPlane);
  releasePlane(imagPlane);
  releasePlane(magnitudePlane);
}
