// Large zero-filled blocks for the working planes, in the pages the system serves fastest.
#pragma once

#include <cstddef>

// C names, which a test can wrap at link time to see every block asked for.
extern "C" {

// A zero-filled block of at least bytes bytes, or null when memory runs out. Its pages are
// served on first touch; where the system offers large pages they are asked for, since a plane
// or a picture of megabytes would otherwise take hundreds of page faults. Any thread.
void *obtainZeroedBlock(std::size_t bytes);

// Gives back a block from obtainZeroedBlock with the same size; null does nothing. Any thread.
void releaseZeroedBlock(void *block, std::size_t bytes);
}
