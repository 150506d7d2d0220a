// lym: the command-line front end. For now it reports its version; the compression, test,
// decompression and information actions arrive with the batch jobs.
#include <cstdio>
#include <cstring>

#include "lym/Version.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("lym %s\n", lym::kLymVersionText);
    return 0;
  }
  std::fprintf(stderr, "lym %s: no actions are available yet; try 'lym --version'\n",
               lym::kLymVersionText);
  return 2;
}
