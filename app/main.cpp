// The program's entry: the command line, then everything happens in the main flow.
#include "app/command_line.h"
#include "app/main_flow.h"
#include "platform/console.h"
#include "platform/translate.h"

int main(int argc, char **argv) {
  startTranslation();
  const int ended = parseCommandLine(argc, argv);
  if (ended >= 0) return ended;
  const int status = runMainFlow();
  consoleFinish();
  return status;
}
