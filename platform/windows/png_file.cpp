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
HRESULT encode(const wchar_t *path, int width, int height, const std::uint8_t *pixels) {
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
  HRESULT result = S_OK;
  // Each step runs only while every one before it succeeded; result keeps the first failure.
  const auto step = [&result](HRESULT done) {
    if (SUCCEEDED(result)) result = done;
    return SUCCEEDED(result);
  };
  step(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                        IID_IWICImagingFactory, reinterpret_cast<void **>(&factory))) &&
      step(factory->CreateStream(&stream)) &&
      step(stream->InitializeFromFilename(path, GENERIC_WRITE)) &&
      step(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
      step(encoder->Initialize(stream.pointer, WICBitmapEncoderNoCache)) &&
      step(encoder->CreateNewFrame(&frame, nullptr)) && step(frame->Initialize(nullptr)) &&
      step(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
      step(frame->SetPixelFormat(&format)) && step(format == wanted ? S_OK : E_FAIL);
  // The rows are bottom-up; the encoder takes them from the top.
  for (int row = height - 1; row >= 0 && SUCCEEDED(result); --row) {
    auto *bytes = const_cast<BYTE *>(pixels + static_cast<size_t>(row) * rowBytes);
    step(frame->WritePixels(1, rowBytes, rowBytes, bytes));
  }
  step(SUCCEEDED(result) ? frame->Commit() : result) && step(encoder->Commit());
  return result;
}

// The C library's reason for a failed HRESULT, so that the message names what went wrong.
int errnoOf(HRESULT result) {
  switch (result) {
    case E_ACCESSDENIED:
      return EACCES;
    case E_OUTOFMEMORY:
      return ENOMEM;
    case HRESULT_FROM_WIN32(ERROR_DISK_FULL):
    case HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL):
      return ENOSPC;
    case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND):
    case HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
      return ENOENT;
    case HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION):
      return EBUSY;
    default:
      return EIO;
  }
}

}  // namespace

bool writePngFile(const char *path, int width, int height, const std::uint8_t *pixels) {
  const std::wstring wide = widePath(path);
  const HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const HRESULT result = wide.empty() ? E_INVALIDARG : encode(wide.c_str(), width, height, pixels);
  if (SUCCEEDED(started)) CoUninitialize();
  if (SUCCEEDED(result)) return true;
  DeleteFileW(wide.c_str());
  errno = errnoOf(result);
  return false;
}
