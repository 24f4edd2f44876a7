// The program's console texts as the tests expect them, written out once for every test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/dib_row.h"

inline constexpr char kPrompt[] =
    "再計算？(org-0,lin-1,log-2,DC有-3,DC無-4,標準表示-5,４倍表示-6,終了-q)";
inline constexpr char kFileTitle[] = "------ BITMAPFILEHEADER ------\n";
inline constexpr char kInfoTitle[] = "------ BITMAPINFOHEADER ------\n";
inline constexpr char kReadError[] = "ファイル読み込みのエラー\n";
inline constexpr char kNot24Bit[] = "本プログラムは24bitカラーのBMPファイルのみ扱えます\n";
inline constexpr char kOtherFormat[] = "この形式のBMPファイルは扱えません\n";
inline constexpr char kCompressed[] = "圧縮されたBMPファイルは扱えません\n";
inline constexpr char kBadExtent[] = "画像の幅または高さが不正です\n";
inline constexpr char kPixelError[] = "ファイル(DIB部)読み込みのエラー\n";
inline constexpr char kNoMemory[] = "メモリが足りません\n";

// The column counter written while the columns of a spectrum w2 columns wide are transformed.
inline std::string expectedCounter(int w2) {
  std::string text;
  for (int x = 0; x < w2; ++x) {
    text += '\r';
    text += std::to_string(x);
    text += "    \r";
  }
  return text;
}

// The listing of the spectrum record of a w2 x h2 rectangle.
inline std::string expectedSpectrumRecord(int w2, int h2) {
  return std::string(kInfoTitle) + "DWORD \t biSize          \t 40 \n" +
         "LONG  \t biWidth         \t " + std::to_string(w2) + " \n" +
         "LONG  \t biHeight        \t " + std::to_string(h2) + " \n" +
         "WORD  \t biPlanes        \t 1 \n" + "WORD  \t biBitCount      \t 24 \n";
}

// The listing of both headers of a picture file as the test fixtures write it (bmpPicture):
// width x height pixels, 54 bytes of headers, 2835 pixels a metre.
inline std::string expectedFileListing(int width, int height) {
  const auto pixels =
      dibRowBytes(static_cast<std::uint64_t>(width)) * static_cast<std::uint64_t>(height);
  return std::string(kFileTitle) + "WORD  \t bfType      \t 4D42 ('BM') \n" +
         "DWORD \t bfSize      \t " + std::to_string(54 + pixels) + "(byte) \n" +
         "WORD  \t bfReserved1 \t 0 \n" + "WORD  \t bfReserved2 \t 0 \n" +
         "DWORD \t bfOffBits   \t 54 \n" + kInfoTitle + "DWORD \t biSize          \t 40 \n" +
         "LONG  \t biWidth         \t " + std::to_string(width) + " \n" +
         "LONG  \t biHeight        \t " + std::to_string(height) + " \n" +
         "WORD  \t biPlanes        \t 1 \n" + "WORD  \t biBitCount      \t 24 \n" +
         "DWORD \t biCompression   \t 0 \n" + "DWORD \t biSizeImage     \t " +
         std::to_string(pixels) + " \n" + "LONG  \t biXPelsPerMeter \t 2835 \n" +
         "LONG  \t biYPelsPerMeter \t 2835 \n" + "DWORD \t biClrUsed       \t 0 \n" +
         "DWORD \t biClrImportant  \t 0 \n";
}

// How many times part occurs in text, without overlaps.
inline std::size_t countOf(const std::string &text, const std::string &part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

// The text as a terminal shows it: each line end as carriage return and line feed.
inline std::string onTerminal(const std::string &text) {
  std::string shown;
  for (char c : text) shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return shown;
}
