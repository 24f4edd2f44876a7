// The main flow: start-up, the console command loop and the orderly end.
#include "app/main_flow.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "bitmap/bitmap_reader.h"
#include "bitmap/bitmap_writer.h"
#include "common/dib_view.h"
#include "common/output_file.h"
#include "common/texts.h"
#include "display/display.h"
#include "platform/console.h"
#include "platform/file_chooser.h"
#include "platform/key_decoder.h"
#include "platform/png_file.h"
#include "platform/translate.h"
#include "spectrum/fft1d.h"
#include "spectrum/spectrum.h"

namespace {

constexpr char kPrompt[] = "再計算？(org-0,lin-1,log-2,DC有-3,DC無-4,標準表示-5,４倍表示-6,終了-q)";

// Prepares spectrumView and the planes; false after printing why it could not.
bool prepareSpectrum() {
  const SpectrumStorage storage = setUpSpectrumStorage();
  if (storage == SpectrumStorage::noPixels) {
    consolePrintf("%s", kOutOfMemory);
    return false;
  }
  listInfoHeaderStart(spectrumView.header);
  if (storage == SpectrumStorage::ready) return true;
  consolePuts(storage == SpectrumStorage::noRealOrImagPlane
                  ? "めもりたらんっちゅーねん！！！ コンパクトで生成してけろ 1"
                  : "めもりたらんっちゅーねん！！！2");
  releasePlanes();
  return false;
}

// The next command key: in a batch run the next of the given keys (-1 once they are used up),
// otherwise one from the terminal.
// The given keys go through the terminal's key decoder, so that an escape sequence among them
// gives the codes the same key typed at the terminal gives.
struct BatchKeys {
  const char *next;
  KeyDecoder decoder;
  int codes[kMaxDecodedKeys];
  int count = 0, taken = 0;
};

int nextKey(BatchKeys &batch) {
  if (!batchRun()) return _getch();
  while (batch.taken == batch.count) {
    batch.taken = 0;
    if (batch.next != nullptr && *batch.next != '\0') {
      batch.count =
          decodeKeyByte(batch.decoder, static_cast<unsigned char>(*batch.next++), batch.codes);
    } else if (keyDecoderAwaitsPause(batch.decoder)) {
      // The keys end here: as a pause after a lone Esc.
      batch.count = decodeKeyPause(batch.decoder, batch.codes);
    } else {
      return -1;
    }
  }
  return batch.codes[batch.taken++];
}

void runCommandLoop() {
  int logScale = 0, dcCut = 0, zoom4 = 0, showOriginal = 0;
  BatchKeys batchKeys{commandLine.keys, KeyDecoder{}, {}};
  for (;;) {
    consolePrintf("%s", kPrompt);
    const int key = nextKey(batchKeys);
    // No key can be read any more: end as after q instead of prompting forever.
    if (key == 'q' || key < 0) return;
    if (key < '0' || key > '6') continue;

    showOriginal = 0;
    switch (key) {
      case '0':
        showOriginal = 1;
        break;
      case '1':
        logScale = 0;
        break;
      case '2':
        logScale = 1;
        break;
      case '3':
        dcCut = 0;
        break;
      case '4':
        dcCut = 1;
        break;
      case '5':
        zoom4 = 0;
        break;
      case '6':
        zoom4 = 1;
        break;
    }
    consolePrintf("\n log表示=%d DCcut=%d 拡大=%d\n", logScale, dcCut, zoom4);
    computeSpectrum(logScale, dcCut, zoom4, showOriginal);
    repaintSpectrum();
  }
}

// Loads the picture named on the command line, or the one the user chooses; false when the
// program should end, with the status in *status.
bool loadPicture(int *status) {
  if (commandLine.picture == nullptr && !fileChooserAvailable()) {
    consoleErrorf("%s",
                  translate("bmpspectrum: no picture given, and no display or terminal to choose "
                            "one on\n"));
    *status = 2;
    return false;
  }
  if (commandLine.picture == nullptr) {
    bool cancelled = false;
    if (readBitmapFile(&cancelled)) return true;
    *status = cancelled ? 0 : 1;
    return false;
  }
  if (!setBitmapFilePath(commandLine.picture)) {
    consoleErrorf(translate("bmpspectrum: %s: the full path is longer than %d bytes\n"),
                  commandLine.picture, static_cast<int>(sizeof bitmapFilePath - 1));
  } else if (readChosenBitmap()) {
    return true;
  }
  *status = 1;
  return false;
}

bool endsWithPng(const char *name) {
  const size_t length = std::strlen(name);
  if (length < 4) return false;
  std::string ending(name + length - 4);
  for (char &c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".png";
}

// Writes what the spectrum window shows: a PNG for a name ending in .png, otherwise a BMP. The
// picture goes to a temporary file that replaces the destination only once it is complete.
bool writeSpectrumPicture(const char *path) {
  const BmpInfoHeader &header = spectrumView.header;
  const std::string temporary = temporaryOutputPath(path);
  const bool written =
      (endsWithPng(path)
           ? writePngFile(temporary.c_str(), header.biWidth, header.biHeight, spectrumView.pixels)
           : writeBitmapFile(temporary.c_str(), header.biWidth, header.biHeight,
                             spectrumView.pixels)) &&
      replaceOutputFile(temporary, path);
  if (!written) consoleErrorf("bmpspectrum: %s: %s\n", path, std::strerror(errno));
  return written;
}

// An output that cannot be written is refused before the picture is read: status 2 for a name
// that cannot be a picture file, 1 for a place that cannot take it.
bool outputUsable(int *status) {
  if (commandLine.output == nullptr) return true;
  bool usage = false;
  const std::string problem = outputPathProblem(commandLine.output, &usage);
  if (problem.empty()) return true;
  consoleErrorf("bmpspectrum: %s: %s\n", commandLine.output, problem.c_str());
  *status = usage ? 2 : 1;
  return false;
}

}  // namespace

int runMainFlow() {
  int status = 0;
  if (!outputUsable(&status) || !loadPicture(&status)) return status;
  if (!prepareSpectrum()) return 1;

  // No other thread runs yet.
  spectrumOptions.centred = commandLine.centred;
  if (commandLine.taper != nullptr) taperNamed(commandLine.taper, &spectrumOptions.taper);
  computeSpectrum(0, 0, 0, 0);
  // A run that writes its picture to a file shows no windows.
  if (commandLine.output == nullptr) {
    startDisplay(sourceView.header.biWidth, sourceView.header.biHeight);
  }
  runCommandLoop();

  closeDisplay();
  if (commandLine.output != nullptr && !writeSpectrumPicture(commandLine.output)) status = 1;
  releasePlanes();
  return status;
}
