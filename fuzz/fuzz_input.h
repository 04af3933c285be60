// How the OBJ harnesses take their input: the OBJ text up to the first NUL
// byte, the MTL text after it, served for every library the OBJ text names.
// Without a NUL there is no library at all. Both texts are exact-size heap
// copies, so that reading one byte past the end is caught.
#ifndef CELSHADE_FUZZ_INPUT_H
#define CELSHADE_FUZZ_INPUT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"

// Names are composed from the OBJ path's directory.
constexpr char kFuzzPath[] = "fuzz/in.obj";

struct FuzzInput {
  char* obj = nullptr;  // NULL for empty text, which the reader accepts with length 0
  size_t objLength = 0;
  char* mtl = nullptr;  // NULL when the input has no MTL part
  size_t mtlLength = 0;

  FuzzInput(const uint8_t* data, size_t size) {
    const uint8_t* nul = static_cast<const uint8_t*>(memchr(data, 0, size));
    objLength = nul ? size_t(nul - data) : size;
    if (objLength) obj = copy(data, objLength);
    if (nul) {
      mtlLength = size - objLength - 1;
      mtl = copy(nul + 1, mtlLength);
    }
  }
  ~FuzzInput() {
    free(obj);
    free(mtl);
  }
  FuzzInput(const FuzzInput&) = delete;
  FuzzInput& operator=(const FuzzInput&) = delete;

  // A GLMmtlsource: the MTL text for any name, or none.
  static const char* serve(void* user, const char* name, size_t* length) {
    const FuzzInput* input = static_cast<const FuzzInput*>(user);
    FUZZ_CHECK(strncmp(name, "fuzz/", 5) == 0);
    if (!input->mtl) return nullptr;
    *length = input->mtlLength;
    return input->mtl;
  }

 private:
  static char* copy(const uint8_t* data, size_t size) {
    char* text = static_cast<char*>(malloc(size ? size : 1));
    if (size) memcpy(text, data, size);
    return text;
  }
};

#endif  // CELSHADE_FUZZ_INPUT_H
