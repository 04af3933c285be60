// The folder a benchmark writes its generated files in.
#ifndef CELSHADE_BENCH_FOLDER_H
#define CELSHADE_BENCH_FOLDER_H

#include <sys/stat.h>

#include <cstdlib>
#include <string>

// The folder named by the first argument, else $TMPDIR/celshade-bench (or
// /tmp/celshade-bench), made when missing; without a trailing '/'.
inline std::string benchFolder(int argc, char** argv) {
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
  } else {
    const char* tmp = getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/celshade-bench";
  }
  mkdir(dir.c_str(), 0755);
  return dir;
}

#endif  // CELSHADE_BENCH_FOLDER_H
