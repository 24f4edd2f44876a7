// Rows of 24-bit pixels into the X server: kept converted from one send to the next, so that only
// the rows that changed go again, and sent a band at a time, so that the server takes one band
// while the next is converted.
#include "platform/linux/x11_image.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace {

// The memory kept for one drawable: the whole of a 1024 x 1024 window at 32 bits a pixel, so a
// spectrum is always kept whole; the rows of a larger picture go through it as a ring.
constexpr std::size_t kKeptBytes = 4 * 1024 * 1024;
// A band: what is converted and put at once, a quarter of a 1024 x 1024 window. Smaller bands let
// the server start sooner, but each wakes it while the next is converted, which on a busy
// machine costs more than it saves (measured: 256 KB bands were slower than 1 MB).
constexpr std::size_t kBandBytes = 1024 * 1024;
// At least a band of one row of the widest window X allows, at 32 bits a pixel.
static_assert(kBandBytes >= 4 * 32767);

void dropImage(XImage *image) {
  image->data = nullptr;  // the kept memory, not the C library's to free
  image->obdata = nullptr;
  XDestroyImage(image);
}

// Shared memory for the rows, attached by the server, so that a put sends no pixels through the
// socket; false when the server cannot attach it.
bool shareMemory(const ImageTarget &target, SentRows &sent, std::size_t bytes) {
  XShmSegmentInfo &segment = sent.segment;
  segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
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
    sent.memory = segment.shmaddr;
    sent.shared = true;
    return true;
  }
  if (segment.shmaddr != reinterpret_cast<char *>(-1)) shmdt(segment.shmaddr);
  segment = XShmSegmentInfo{};
  return false;
}

// How many rows of bytesPerLine a band holds.
int bandRows(int bytesPerLine) {
  return static_cast<int>(kBandBytes / static_cast<std::size_t>(bytesPerLine));
}

// The memory and its image, made for the rows' size at the first send.
bool prepare(const ImageTarget &target, const ImageRows &rows, SentRows &sent) {
  if (sent.image && sent.width == rows.width && sent.height == rows.height) return true;
  releaseSentRows(target.display, sent, target.lost->load());
  const auto depth = static_cast<unsigned>(target.depth);
  const auto columns = static_cast<unsigned>(rows.width);
  const bool tryShared =
      !*target.shareRefused && XShmQueryExtension(target.display) == True &&
      (sent.image = XShmCreateImage(target.display, target.visual, depth, ZPixmap, nullptr,
                                    &sent.segment, columns, 1)) != nullptr;
  if (!tryShared) {
    sent.image =
        XCreateImage(target.display, target.visual, depth, ZPixmap, 0, nullptr, columns, 1, 32, 0);
    if (!sent.image) return false;
  }
  const int line = sent.image->bytes_per_line;
  const int fits = static_cast<int>(kKeptBytes / static_cast<std::size_t>(line));
  sent.rows = rows.height <= fits ? rows.height : fits / bandRows(line) * bandRows(line);
  const std::size_t bytes = static_cast<std::size_t>(sent.rows) * static_cast<std::size_t>(line);
  if (tryShared && !shareMemory(target, sent, bytes)) {
    *target.shareRefused = true;
    dropImage(sent.image);
    sent.image = nullptr;
    return prepare(target, rows, sent);
  }
  if (!tryShared) sent.memory = static_cast<char *>(std::calloc(bytes, 1));
  if (!sent.memory) {
    releaseSentRows(target.display, sent, target.lost->load());
    return false;
  }
  sent.image->data = sent.memory;
  sent.image->height = sent.rows;
  sent.width = rows.width;
  sent.height = rows.height;
  return true;
}

unsigned long scaleToMask(unsigned value, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long scaled = bits <= 8 ? value >> (8 - bits) : value << (bits - 8);
  return (scaled << shift) & mask;
}

// Whether pixels go straight into 32-bit words of the server's order, red, green, blue.
bool plainWords(const Visual *visual, const XImage *image) {
  return image->bits_per_pixel == 32 &&
         (image->byte_order == LSBFirst) == (std::endian::native == std::endian::little) &&
         visual->red_mask == 0xff0000 && visual->green_mask == 0x00ff00 &&
         visual->blue_mask == 0x0000ff;
}

// Converts a row of 24-bit pixels (blue, green, red) into words of red, green, blue; true when the
// row differs from what it held.
[[gnu::always_inline]] inline bool convertPlainRow(std::uint32_t *row, const std::uint8_t *pixel,
                                                   int columns) {
  std::uint32_t differ = 0;
  for (int column = 0; column < columns; ++column, pixel += 3) {
    const std::uint32_t value = static_cast<std::uint32_t>(pixel[2]) << 16 |
                                static_cast<std::uint32_t>(pixel[1]) << 8 | pixel[0];
    differ |= row[column] ^ value;
    row[column] = value;
  }
  return differ != 0;
}

// The same for AVX2, whose shuffles take the three-byte pixels several at a time: about twice as
// fast. Chosen at run time (not through an ifunc, which the sanitizers' runtimes cannot start).
[[gnu::target("avx2")]] bool convertPlainRowAvx2(std::uint32_t *row, const std::uint8_t *pixel,
                                                 int columns) {
  return convertPlainRow(row, pixel, columns);
}

bool hasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

// Converts a row of 24-bit pixels (blue, green, red) into row y of the image; true when the row
// differs from what it held.
bool convertRow(const Visual *visual, XImage *image, bool plain, int y, const std::uint8_t *pixel,
                int columns) {
  if (plain) {
    auto *row = reinterpret_cast<std::uint32_t *>(
        image->data +
        static_cast<std::size_t>(y) * static_cast<std::size_t>(image->bytes_per_line));
    return hasAvx2() ? convertPlainRowAvx2(row, pixel, columns)
                     : convertPlainRow(row, pixel, columns);
  }
  bool differ = false;
  for (int column = 0; column < columns; ++column, pixel += 3) {
    const unsigned long value = scaleToMask(pixel[2], visual->red_mask) |
                                scaleToMask(pixel[1], visual->green_mask) |
                                scaleToMask(pixel[0], visual->blue_mask);
    if (XGetPixel(image, column, y) != value) {
      differ = true;
      XPutPixel(image, column, y, value);
    }
  }
  return differ;
}

// Puts an area of the kept rows to the same place of a drawable, or from row from of a ring.
void putRows(const ImageTarget &target, const SentRows &sent, Drawable drawable, int x, int from,
             int y, int width, int height) {
  const auto columns = static_cast<unsigned>(width);
  const auto count = static_cast<unsigned>(height);
  if (sent.shared) {
    XShmPutImage(target.display, drawable, target.gc, sent.image, x, from, x, y, columns, count,
                 False);
  } else {
    XPutImage(target.display, drawable, target.gc, sent.image, x, from, x, y, columns, count);
  }
}

}  // namespace

bool sendImageRows(const ImageTarget &target, const ImageRows &rows, SentRows &sent,
                   bool (*stop)()) {
  if (target.lost->load() || !prepare(target, rows, sent)) return false;
  // Kept whole, the memory is what the drawable holds, or is about to: the server may still be
  // reading a row being rewritten, but every row that changes is put again after it is written.
  const bool whole = sent.rows == rows.height;
  const bool compare = whole && sent.current && target.keeps;
  sent.current = false;  // until every row is written and put
  XImage *image = sent.image;
  const bool plain = plainWords(target.visual, image);
  const int band = bandRows(image->bytes_per_line);
  const auto step = static_cast<std::ptrdiff_t>(rows.rowBytes);
  const auto put = [&](Drawable drawable, int from, int y, int count) {
    putRows(target, sent, drawable, 0, from, y, rows.width, count);
  };
  // The window is given each band first, for the eye; the drawable behind it the changed rows
  // after the last band, from memory that stays (a ring's band before it is written over).
  const bool drawableLater = target.shownIn && whole;
  int changedTop = rows.height, changedEnd = 0;
  bool complete = true;
  for (int top = 0; top < rows.height; top += band) {
    if (target.lost->load() || stop()) {
      complete = false;
      break;
    }
    const int count = std::min(band, rows.height - top);
    const int slot = top % sent.rows;
    // A ring is written over only once the server has read it: a round trip.
    if (!whole && sent.shared && slot == 0) XSync(target.display, False);
    int first = -1, last = -1;  // the changed rows of the band
    {
      std::unique_lock<std::mutex> guard;
      if (rows.lock) guard = std::unique_lock<std::mutex>(*rows.lock);
      // Nothing to show yet: the window stays unpainted, and is asked again when uncovered.
      if (*rows.pixels == nullptr) {
        complete = false;
        break;
      }
      for (int y = 0; y < count; ++y) {
        // Window rows count from the top; the image's last stored row is its top one.
        const std::uint8_t *source = *rows.pixels + (rows.height - 1 - top - y) * step;
        if (convertRow(target.visual, image, plain, slot + y, source, rows.width) || !compare) {
          if (first < 0) first = y;
          last = y;
        }
      }
    }
    if (first < 0) continue;
    const int changed = last - first + 1;
    if (target.shownIn) put(target.shownIn, slot + first, top + first, changed);
    if (!drawableLater) put(target.drawable, slot + first, top + first, changed);
    XFlush(target.display);
    changedTop = std::min(changedTop, top + first);
    changedEnd = top + last + 1;
  }
  if (drawableLater && changedTop < changedEnd) {
    put(target.drawable, changedTop, changedTop, changedEnd - changedTop);
    XFlush(target.display);
  }
  sent.current = complete && whole;
  return complete;
}

bool keepsWhole(const ImageTarget &target, const ImageRows &rows, SentRows &sent) {
  return !target.lost->load() && prepare(target, rows, sent) && sent.rows == rows.height;
}

bool resendArea(const ImageTarget &target, const SentRows &sent, int x, int y, int width,
                int height) {
  if (!sent.current) return false;
  putRows(target, sent, target.drawable, x, y, y, width, height);
  return true;
}

void releaseSentRows(Display *display, SentRows &sent, bool serverLost) {
  if (sent.image) dropImage(sent.image);
  if (sent.shared) {
    if (!serverLost) XShmDetach(display, &sent.segment);
    shmdt(sent.segment.shmaddr);
  } else {
    std::free(sent.memory);
  }
  sent = SentRows{};
}
