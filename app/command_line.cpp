// The command line, read with getopt_long as GNU tools read theirs.
#include "app/command_line.h"

#include <getopt.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/translate.h"
#include "spectrum/taper.h"

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
    "  -c, --centred       show the spectrum with the DC term at its centre\n"
    "  -t, --taper=TAPER   taper the picture's edges before the transform: none,\n"
    "                      periodic (periodic-plus-smooth) or hann\n"
    "  -h, --help          show this help and end\n"
    "  -V, --version       show the version and end\n"
    "\n"
    "Keys:\n"
    "  0  the grey picture         1  linear magnitudes    2  logarithmic magnitudes\n"
    "  3  with the DC term         4  without the DC term\n"
    "  5  normal size              6  low frequencies magnified four times\n"
    "  q  quit\n"
    "Typed into a window, the same keys, and:\n"
    "  c  centred view on or off   t  next taper (none, periodic, hann)\n"
    "  s  save the spectrum window as a PNG here\n"
    "The title of a window names what is under the pointer.\n";

// What --help adds after the usage: the environment and the exit statuses.
constexpr char kEnvironmentAndStatus[] =
    "\n"
    "Environment:\n"
    "  BMPSPECTRUM_THREADS  how many threads compute the spectrum (1 to 256; every core\n"
    "                       by default)\n"
    "\n"
    "Exit status: 0 when the run ends normally (also when no picture is chosen),\n"
    "1 when a picture cannot be read or an output cannot be written, 2 on a usage error.\n";

constexpr option kOptions[] = {{"keys", required_argument, nullptr, 'k'},
                               {"output", required_argument, nullptr, 'o'},
                               {"centred", no_argument, nullptr, 'c'},
                               {"taper", required_argument, nullptr, 't'},
                               {"help", no_argument, nullptr, 'h'},
                               {"version", no_argument, nullptr, 'V'},
                               {nullptr, 0, nullptr, 0}};

// One line naming the problem (already printed), then where to read more, as GNU tools do.
int usageError() {
  consoleErrorf("%s", translate("Try 'bmpspectrum --help' for more information.\n"));
  return 2;
}

// getopt's own messages would name the program by the path it was started by: these name it
// "bmpspectrum", and go through the console's character set.
int optionError(int option, const char *argument) {
  if (option == ':') {
    consoleErrorf(translate("bmpspectrum: option '%s' requires an argument\n"), argument);
  } else if (argument[0] == '-' && argument[1] == '-') {
    consoleErrorf(translate("bmpspectrum: unrecognized option '%s'\n"), argument);
  } else {
    consoleErrorf(translate("bmpspectrum: invalid option -- '%c'\n"), optopt);
  }
  return usageError();
}

}  // namespace

int parseCommandLine(int argc, char **argv) {
  commandLine = CommandLine{};
  opterr = 0;
  for (;;) {
    const int option = getopt_long(argc, argv, ":k:o:ct:hV", kOptions, nullptr);
    if (option == -1) break;
    switch (option) {
      case 'k':
        commandLine.keys = optarg;
        break;
      case 'o':
        commandLine.output = optarg;
        break;
      case 'c':
        commandLine.centred = true;
        break;
      case 't':
        if (Taper taper; !taperNamed(optarg, &taper)) {
          consoleErrorf(translate("bmpspectrum: invalid taper '%s' (none, periodic or hann)\n"),
                        optarg);
          return usageError();
        }
        commandLine.taper = optarg;
        break;
      case 'h':
        consolePrintf("%s", translate(kUsage));
        consolePrintf("%s", translate(kEnvironmentAndStatus));
        return 0;
      case 'V':
        consolePrintf("bmpspectrum " BMPSPECTRUM_VERSION "\n");
        return 0;
      default:  // the option just read is unknown (or misses its argument, ':')
        return optionError(option, argv[optind - 1]);
    }
  }
  if (argc - optind > 1) {
    consoleErrorf("%s", translate("bmpspectrum: only one picture at a time\n"));
    return usageError();
  }
  if (optind < argc) commandLine.picture = argv[optind];
  // A batch run has nobody to answer a dialog or a chooser.
  if (batchRun() && commandLine.picture == nullptr) {
    consoleErrorf(
        "%s", translate("bmpspectrum: --keys and --output need a picture on the command line\n"));
    return usageError();
  }
  return -1;
}

bool batchRun() {
  return commandLine.keys != nullptr || commandLine.output != nullptr;
}
