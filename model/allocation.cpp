// Allocation that never gives null, and the names and paths records hold.
#include "glm_internal.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void outOfMemory(size_t bytes) {
  fprintf(stderr, "glm: out of memory (%zu bytes)\n", bytes);
  exit(1);
}

}  // namespace

void* allocArray(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) {
    fprintf(stderr, "glm: out of memory (%zu items of %zu bytes)\n", count, size);
    exit(1);
  }
  size_t bytes = count * size;
  void* p = malloc(bytes ? bytes : 1);
  if (!p) outOfMemory(bytes);
  return p;
}

char* copyName(std::string_view name) {
  char* copy = static_cast<char*>(malloc(name.size() + 1));
  if (!copy) return nullptr;
  memcpy(copy, name.data(), name.size());
  copy[name.size()] = '\0';
  return copy;
}

char* copyString(const char* s) {
  char* copy = copyName(s);
  if (!copy) outOfMemory(strlen(s) + 1);
  return copy;
}

std::string glmDirName(const char* path) {
  const char* slash = strrchr(path, '/');
  return std::string(path, slash ? size_t(slash - path) + 1 : 0);
}

std::string pathBeside(const char* path, std::string_view name) {
  return glmDirName(path).append(name);
}
