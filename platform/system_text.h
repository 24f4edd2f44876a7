// The system's text at the program's edges, as UTF-8: the command line and file names.
#pragma once

#include <cstdio>

// The program's arguments in UTF-8: the system's own on Linux, the wide command line's on
// Windows (its narrow argv went through the ANSI code page and lost what that lacks), where /?
// stands for --help. Main thread, at start; the result lives as long as the program.
char **utf8Arguments(int argc, char **argv);

// fopen for a path given in UTF-8.
std::FILE *openFile(const char *utf8Path, const char *mode);
