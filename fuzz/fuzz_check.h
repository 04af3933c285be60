// Checks shared by the fuzz harnesses. A failed check aborts, which libFuzzer
// and the replay programs report as a crash of the input.
#ifndef CELSHADE_FUZZ_CHECK_H
#define CELSHADE_FUZZ_CHECK_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

// Where failed checks are reported: a copy of standard error taken at
// start-up, because libFuzzer's -close_fd_mask silences the real one (the
// readers' own messages would otherwise flood the log).
inline FILE*& fuzzReport() {
  static FILE* report = stderr;
  return report;
}

// Call first thing in LLVMFuzzerInitialize.
inline void fuzzKeepReport() {
  int fd = dup(2);
  if (FILE* copy = fd >= 0 ? fdopen(fd, "w") : nullptr) fuzzReport() = copy;
}

#define FUZZ_CHECK(cond)                                                             \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      fprintf(fuzzReport(), "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      fflush(fuzzReport());                                                          \
      abort();                                                                       \
    }                                                                                \
  } while (0)

#endif  // CELSHADE_FUZZ_CHECK_H
