// Positions in a stdio stream in 64 bits on every system: a picture may be larger than 2 GB,
// and Windows' long, which fseek and ftell take, has 32 bits.
#pragma once

#include <cstdint>
#include <cstdio>

// Moves to the offset from the stream's start; false when the stream cannot seek there.
inline bool seekStream(std::FILE *stream, std::uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The stream's length in bytes, its position kept; -1 when it cannot be told.
inline long long streamLength(std::FILE *stream) {
#ifdef _WIN32
  const __int64 here = _ftelli64(stream);
  if (here < 0 || _fseeki64(stream, 0, SEEK_END) != 0) return -1;
  const __int64 length = _ftelli64(stream);
  return _fseeki64(stream, here, SEEK_SET) == 0 ? length : -1;
#else
  const off_t here = ftello(stream);
  if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) return -1;
  const off_t length = ftello(stream);
  return fseeko(stream, here, SEEK_SET) == 0 ? length : -1;
#endif
}
