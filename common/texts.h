// Console texts that more than one part of the program prints.
#pragma once

inline constexpr const char kInfoHeaderTitle[] = "------ BITMAPINFOHEADER ------\n";
inline constexpr const char kBiSizeLine[] = "DWORD \t biSize          \t %d \n";
inline constexpr const char kBiWidthLine[] = "LONG  \t biWidth         \t %d \n";
inline constexpr const char kBiHeightLine[] = "LONG  \t biHeight        \t %d \n";
inline constexpr const char kBiPlanesLine[] = "WORD  \t biPlanes        \t %d \n";
inline constexpr const char kBiBitCountLine[] = "WORD  \t biBitCount      \t %d \n";
