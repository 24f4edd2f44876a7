// The program's console texts as the tests expect them, written out once for every test.
#pragma once

#include <string>

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
