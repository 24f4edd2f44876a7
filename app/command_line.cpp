// The command line, read with getopt_long as GNU tools read theirs.
#include "app/command_line.h"

#include <getopt.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/translate.h"

CommandLine commandLine{};

namespace {

// The usage text, also a format without conversions; the keys are those of the prompt.
constexpr char kUsage[] =
    "Usage: bmpspectrum [OPTION]... [PICTURE]\n"
    "Show a 24-bit BMP picture and its spatial-frequency spectrum in two windows.\n"
    "Without PICTURE, a file chooser asks for one.\n"
    "\n"
    "  -k, --keys=KEYS     run these command keys after the first computation instead\n"
    "                      of reading the terminal, then end as after q\n"
    "  -o, --output=FILE   write the spectrum window's image to FILE after the last key\n"
    "                      (PNG when FILE ends in .png, otherwise a 24-bit BMP);\n"
    "                      no windows open\n"
    "  -h, --help          show this help and end\n"
    "  -V, --version       show the version and end\n"
    "\n"
    "Keys:\n"
    "  0  the grey picture         1  linear magnitudes    2  logarithmic magnitudes\n"
    "  3  with the DC term         4  without the DC term\n"
    "  5  normal size              6  low frequencies magnified four times\n"
    "  q  quit\n";

constexpr option kOptions[] = {{"keys", required_argument, nullptr, 'k'},
                               {"output", required_argument, nullptr, 'o'},
                               {"help", no_argument, nullptr, 'h'},
                               {"version", no_argument, nullptr, 'V'},
                               {nullptr, 0, nullptr, 0}};

int usageError() {
  consoleErrorf(translate(kUsage));
  return 2;
}

}  // namespace

int parseCommandLine(int argc, char **argv) {
  commandLine = CommandLine{};
  for (;;) {
    const int option = getopt_long(argc, argv, "k:o:hV", kOptions, nullptr);
    if (option == -1) break;
    switch (option) {
      case 'k':
        commandLine.keys = optarg;
        break;
      case 'o':
        commandLine.output = optarg;
        break;
      case 'h':
        consolePrintf(translate(kUsage));
        return 0;
      case 'V':
        consolePrintf("bmpspectrum " BMPSPECTRUM_VERSION "\n");
        return 0;
      default:  // getopt_long has said what was wrong
        return usageError();
    }
  }
  if (argc - optind > 1) {
    consoleErrorf(translate("bmpspectrum: only one picture at a time\n"));
    return usageError();
  }
  if (optind < argc) commandLine.picture = argv[optind];
  return -1;
}

bool batchRun() {
  return commandLine.keys != nullptr || commandLine.output != nullptr;
}
