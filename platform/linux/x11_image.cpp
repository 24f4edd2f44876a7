// Rows of 24-bit pixels into the X server: a strip of two halves that alternate, so that one is
// converted while the server reads the other.
#include "platform/linux/x11_image.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

namespace {

// Each half holds at least one row of the widest window X allows, at 32 bits a pixel, and 128
// rows of a 1024-pixel window: a wait for the server between halves is a round trip, which on a
// busy machine can take a while.
constexpr std::size_t kStripBytes = 512 * 1024;
static_assert(kStripBytes >= 4 * 32767);

struct Strip {
  char *memory = nullptr;  // both halves
  // The memory is this segment, attached by the server, when shared is set (MIT-SHM).
  XShmSegmentInfo segment{};
  bool shared = false;
  std::array<bool, 2> putPending{};  // whether a put from that half may still be under way
  int next = 0;                      // the half to fill next
};

Strip strip;
// Cleared when the server cannot attach shared memory (a remote one): images are put instead.
bool shareWanted = true;

// Shared memory for the strip, attached by the server, so that a put sends no pixels through the
// socket; false when the server cannot attach it.
bool shareStrip(const ImageTarget &target) {
  XShmSegmentInfo &segment = strip.segment;
  segment.shmid = shmget(IPC_PRIVATE, 2 * kStripBytes, IPC_CREAT | 0600);
  segment.shmaddr = segment.shmid < 0 ? reinterpret_cast<char *>(-1)
                                      : static_cast<char *>(shmat(segment.shmid, nullptr, 0));
  bool attached = false;
  if (segment.shmaddr != reinterpret_cast<char *>(-1)) {
    segment.readOnly = False;
    target.errorCode->store(0);
    XShmAttach(target.display, &segment);
    XSync(target.display, False);
    attached = target.errorCode->load() == 0 && !target.lost->load();
  }
  // Marked for removal at once: the system frees it when the server and we have detached, also
  // when the process ends without doing so.
  if (segment.shmid >= 0) shmctl(segment.shmid, IPC_RMID, nullptr);
  if (attached) {
    strip.memory = segment.shmaddr;
    strip.shared = true;
    return true;
  }
  if (segment.shmaddr != reinterpret_cast<char *>(-1)) shmdt(segment.shmaddr);
  segment = XShmSegmentInfo{};
  return false;
}

bool ensureStrip(const ImageTarget &target) {
  if (strip.memory) return true;
  if (shareWanted && XShmQueryExtension(target.display) == True && shareStrip(target)) return true;
  shareWanted = false;
  strip.memory = static_cast<char *>(std::malloc(2 * kStripBytes));
  return strip.memory != nullptr;
}

// An image over the strip's next half, of the given width and as many of the wanted rows as the
// half holds, once the server has done reading that half: a round trip, by which time it has
// long been done. The caller releases it with releaseStripImage.
XImage *takeStripHalf(const ImageTarget &target, int width, int wantedRows) {
  const int half = strip.next;
  strip.next ^= 1;
  if (strip.putPending[half]) {
    XSync(target.display, False);
    strip.putPending = {};
  }
  char *data = strip.memory + static_cast<std::size_t>(half) * kStripBytes;
  const auto depth = static_cast<unsigned>(target.depth);
  const auto columns = static_cast<unsigned>(width);
  XImage *image = strip.shared ? XShmCreateImage(target.display, target.visual, depth, ZPixmap,
                                                 data, &strip.segment, columns, 1)
                               : XCreateImage(target.display, target.visual, depth, ZPixmap, 0,
                                              data, columns, 1, 32, 0);
  if (!image) return nullptr;
  const int fits = static_cast<int>(kStripBytes / static_cast<std::size_t>(image->bytes_per_line));
  image->height = std::min(wantedRows, fits);
  strip.putPending[half] = strip.shared;
  return image;
}

void releaseStripImage(XImage *image) {
  image->data = nullptr;  // the strip's, not the C library's to free
  image->obdata = nullptr;
  XDestroyImage(image);
}

unsigned long scaleToMask(unsigned value, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long scaled = bits <= 8 ? value >> (8 - bits) : value << (bits - 8);
  return (scaled << shift) & mask;
}

// Converts rows of 24-bit pixels (blue, green, red) into the strip image's rows, each source row
// step bytes after the one before.
void convertRows(const Visual *visual, XImage *image, const std::uint8_t *first,
                 std::ptrdiff_t step, int columns) {
  const bool fast =
      image->bits_per_pixel == 32 &&
      (image->byte_order == LSBFirst) == (std::endian::native == std::endian::little) &&
      visual->red_mask == 0xff0000 && visual->green_mask == 0x00ff00 &&
      visual->blue_mask == 0x0000ff;
  for (int y = 0; y < image->height; ++y) {
    const std::uint8_t *pixel = first + y * step;
    if (fast) {
      auto *row = reinterpret_cast<std::uint32_t *>(image->data + y * image->bytes_per_line);
      for (int column = 0; column < columns; ++column, pixel += 3) {
        row[column] = static_cast<std::uint32_t>(pixel[2]) << 16 |
                      static_cast<std::uint32_t>(pixel[1]) << 8 | pixel[0];
      }
      continue;
    }
    for (int column = 0; column < columns; ++column, pixel += 3) {
      const unsigned long value = scaleToMask(pixel[2], visual->red_mask) |
                                  scaleToMask(pixel[1], visual->green_mask) |
                                  scaleToMask(pixel[0], visual->blue_mask);
      XPutPixel(image, column, y, value);
    }
  }
}

}  // namespace

bool sendImageRows(const ImageTarget &target, const ImageRows &rows, bool (*stop)()) {
  if (target.lost->load() || !ensureStrip(target)) return false;
  const auto step = static_cast<std::ptrdiff_t>(rows.rowBytes);
  for (int top = 0; top < rows.height;) {
    XImage *image = takeStripHalf(target, rows.width, rows.height - top);
    if (!image || target.lost->load() || stop()) {
      if (image) releaseStripImage(image);
      return false;
    }
    {
      std::unique_lock<std::mutex> guard;
      if (rows.lock) guard = std::unique_lock<std::mutex>(*rows.lock);
      // Nothing to show yet: the window stays unpainted, and is asked again when uncovered.
      if (*rows.pixels == nullptr) {
        releaseStripImage(image);
        return false;
      }
      // Window rows count from the top; the image's last stored row is its top one.
      const std::uint8_t *topRow = *rows.pixels + (rows.height - 1 - top) * step;
      convertRows(target.visual, image, topRow, -step, rows.width);
    }
    const auto width = static_cast<unsigned>(rows.width);
    const auto height = static_cast<unsigned>(image->height);
    if (strip.shared) {
      XShmPutImage(target.display, target.drawable, target.gc, image, 0, 0, 0, top, width, height,
                   False);
    } else {
      XPutImage(target.display, target.drawable, target.gc, image, 0, 0, 0, top, width, height);
    }
    top += image->height;
    releaseStripImage(image);
  }
  return true;
}

bool imagesShared() {
  return strip.shared;
}

void releaseImageStrip(Display *display, bool serverLost) {
  if (!strip.memory) return;
  if (strip.shared) {
    if (!serverLost) XShmDetach(display, &strip.segment);
    shmdt(strip.segment.shmaddr);
  } else {
    std::free(strip.memory);
  }
  strip = Strip{};
  shareWanted = true;  // the next connection may be to a server that shares
}
