// The program's UTF-8 texts as a Windows console shows them and as redirected output holds them.
#pragma once

#include <string>

// The code page of redirected output: Japanese (932) when the console's output code page is,
// otherwise UTF-8 (65001), which holds every text of the program.
unsigned redirectedCodePage(unsigned consoleOutputCodePage);

// The bytes a console program writes in text mode to a file or pipe: each "\n" as "\r\n" (a lone
// "\r" stays as it is), in the given code page; what it cannot hold becomes its default character.
std::string toRedirectedText(const std::string &utf8, unsigned codePage);

// The text in UTF-16, for WriteConsoleW.
std::wstring toConsoleText(const std::string &utf8);
