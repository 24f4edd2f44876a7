// Scripted console text and keys, for every backend: the output into a string, keys from a queue.
#include <cstdarg>
#include <cstdio>

#include "platform/console.h"
#include "platform/format_text.h"
#include "tests/scripted/scripted_platform.h"

std::string scriptedOutput;
std::deque<int> scriptedKeys;
std::string scriptedChosenPath;

void resetScriptedPlatform() {
  scriptedOutput.clear();
  scriptedKeys.clear();
  scriptedChosenPath.clear();
}

void consolePrintf(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  scriptedOutput += formatTextV(format, arguments);
  va_end(arguments);
}

void consolePuts(const char *line) {
  scriptedOutput += line;
  scriptedOutput += '\n';
}

void consoleErrorf(const char *, ...) {}
std::string consoleShown(const char *text, bool) {
  return text;
}

bool consoleFinish() {
  return true;
}

int _getch() {
  if (scriptedKeys.empty()) return -1;
  const int key = scriptedKeys.front();
  scriptedKeys.pop_front();
  return key;
}

void queueWindowKey(int key) {
  scriptedKeys.push_back(key);
}
