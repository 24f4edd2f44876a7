// The program's course: load the picture, size and compute the spectrum, show it, take commands.
#pragma once

// Runs the whole program as the command line asks; returns the exit status (0 after q or a
// cancelled choice, 1 after a failure message).
int runMainFlow();
