// PNG files through the Windows Imaging Component, which every Windows has.
#include "platform/png_file.h"

// clang-format off
#include "win32.h"
#include <wincodec.h>
// clang-format on

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/grey_pixels.h"

namespace {

// Releases a COM interface when it goes out of scope.
template <typename Interface>
struct Released {
  Interface *pointer = nullptr;
  ~Released() {
    if (pointer) pointer->Release();
  }
  Interface **operator&() { return &pointer; }
  Interface *operator->() const { return pointer; }
};

std::wstring widePath(const char *utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
  wide.pop_back();
  return wide;
}

// A grey picture is written one byte a pixel, as on Linux: a third of the data to compress.
bool encode(const wchar_t *path, int width, int height, const std::uint8_t *pixels) {
  Released<IWICImagingFactory> factory;
  Released<IWICStream> stream;
  Released<IWICBitmapEncoder> encoder;
  Released<IWICBitmapFrameEncode> frame;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  const bool grey = everyPixelGrey(pixels, count);
  std::vector<std::uint8_t> greyPixels;
  if (grey) {
    greyPixels.resize(count);
    for (size_t i = 0; i < count; ++i) greyPixels[i] = pixels[3 * i];
    pixels = greyPixels.data();
  }
  const WICPixelFormatGUID wanted =
      grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR;
  WICPixelFormatGUID format = wanted;
  const UINT rowBytes = (grey ? 1 : 3) * static_cast<UINT>(width);
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void **>(&factory))) ||
      FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromFilename(path, GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.pointer, WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
      FAILED(frame->SetPixelFormat(&format)) || format != wanted) {
    return false;
  }
  // The rows are bottom-up; the encoder takes them from the top.
  for (int row = height - 1; row >= 0; --row) {
    auto *bytes = const_cast<BYTE *>(pixels + static_cast<size_t>(row) * rowBytes);
    if (FAILED(frame->WritePixels(1, rowBytes, rowBytes, bytes))) return false;
  }
  return SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

bool writePngFile(const char *path, int width, int height, const std::uint8_t *pixels) {
  const std::wstring wide = widePath(path);
  const HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const bool written = !wide.empty() && encode(wide.c_str(), width, height, pixels);
  if (SUCCEEDED(started)) CoUninitialize();
  if (written) return true;
  DeleteFileW(wide.c_str());
  errno = EIO;
  return false;
}
