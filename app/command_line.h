// The command line: an optional picture, batch keys and an output file, help and version.
#pragma once

// What the command line asked for; all null when it named nothing.
struct CommandLine {
  const char *picture;  // PICTURE: opened without the chooser
  const char *keys;     // --keys: command keys run in turn instead of reading the terminal
  const char *output;   // --output: the spectrum image written there; no windows open
  bool centred;         // --centred: the spectrum starts centred on its DC term
  const char *taper;    // --taper: none, periodic or hann (null: none)
};

extern CommandLine commandLine;

// Reads the arguments into commandLine. Returns -1 when the program should run, otherwise the
// exit status to end with at once (after --help, --version or a usage error).
int parseCommandLine(int argc, char **argv);

// True when the keys come from --keys or --output rather than from the terminal.
bool batchRun();
