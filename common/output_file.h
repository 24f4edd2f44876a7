// Output files written whole or not at all: a temporary file beside the destination, renamed over
// it when complete; only that temporary file is ever removed.
#pragma once

#include <cstdio>
#include <string>

// Why path cannot take the spectrum picture, or empty when it can: "-", an extension other than
// .bmp or .png (or none, case-insensitive), a destination that exists and is not a regular file
// (a symlink's target counts), or a folder that does not exist or cannot be written. *usage tells
// whether the fault lies in the name itself. Checked before any work is done.
std::string outputPathProblem(const char *path, bool *usage);

// A fresh name in the destination's folder (a symlink's target's folder), for the temporary
// file; no file of that name exists.
std::string temporaryOutputPath(const char *path);

// Renames the complete temporary file over the destination, or over a symlink's target so that
// the link keeps pointing where it pointed, with the old file's permissions. On failure removes
// the temporary file and returns false with errno set.
bool replaceOutputFile(const std::string &temporary, const char *path);

// Gives the complete temporary file the name path when no file has it, never replacing one
// (a hard link, then the temporary name removed). False, with the temporary file removed and
// errno set (EEXIST when path exists), otherwise.
bool publishNewFile(const std::string &temporary, const std::string &path);

// Closes the file. When the writing succeeded (written) and the close did too, returns true.
// Otherwise removes the file at path (the temporary file, which the program created), so no
// partial picture is left behind, and returns false with errno set to the first failure: the
// writing's (error) or the close's.
bool finishOutputFile(std::FILE *file, const char *path, bool written, int error);
