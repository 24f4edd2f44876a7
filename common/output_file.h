// Ending an output file: kept only when every byte reached it, removed otherwise.
#pragma once

#include <cstdio>

// Closes the file. When the writing succeeded (written) and the close did too, returns true.
// Otherwise removes the file at path, so no partial picture is left behind, and returns false
// with errno set to the first failure: the writing's (error) or the close's.
bool finishOutputFile(std::FILE *file, const char *path, bool written, int error);
