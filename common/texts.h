// Console texts that more than one part of the program prints.
#pragma once

// A picture or spectrum buffer could not be had.
inline constexpr const char kOutOfMemory[] = "メモリが足りません\n";
