// The program's entry: the command line, then everything happens in the main flow.
#include "app/command_line.h"
#include "app/main_flow.h"
#include "platform/console.h"
#include "platform/system_text.h"
#include "platform/translate.h"

int main(int argc, char **argv) {
  startTranslation();
  int status = parseCommandLine(argc, utf8Arguments(argc, argv));
  if (status < 0) status = runMainFlow();
  // A transcript that did not reach standard output whole is a failed run.
  if (!consoleFinish()) status = 1;
  consoleLinger(status);
  return status;
}
