#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <io.h>
#include <stdio.h>

#include <cstdlib>

#include "Console.h"

namespace lym::cli {
namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.pop_back();  // the terminating zero
  return result;
}

UINT previousOutputCodePage = 0;

void RestoreOutputCodePage() { SetConsoleOutputCP(previousOutputCodePage); }

}  // namespace

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void UseUtf8Console() {
  const UINT current = GetConsoleOutputCP();
  if (current == 0 || current == CP_UTF8) return;  // no console, or already UTF-8
  previousOutputCodePage = current;
  if (SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreOutputCodePage);
}

}  // namespace lym::cli

#endif
