// Where the library's warnings go: a handler the program sets, or the stream
// each warning has always been printed on.
#include "glm_internal.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

// Set and read under the lock, so that a handler and its user pointer are
// always taken as one pair; the handler itself runs outside the lock and
// may set another.
std::mutex handlerLock;
GLMmessagehandler handler = nullptr;
void* handlerUser = nullptr;

}  // namespace

GLvoid glmSetMessageHandler(GLMmessagehandler newHandler, void* user) {
  std::lock_guard<std::mutex> lock(handlerLock);
  handler = newHandler;
  handlerUser = user;
}

void emitMessage(FILE* stream, const char* format, ...) {
  GLMmessagehandler h;
  void* user;
  {
    std::lock_guard<std::mutex> lock(handlerLock);
    h = handler;
    user = handlerUser;
  }
  va_list args, count;
  va_start(args, format);
  va_copy(count, args);
  int n = vsnprintf(nullptr, 0, format, count);
  va_end(count);
  std::string line(size_t(n > 0 ? n : 0), '\0');
  vsnprintf(&line[0], line.size() + 1, format, args);
  va_end(args);
  if (h)
    h(user, line.c_str());
  else
    fprintf(stream, "%s\n", line.c_str());  // one call per line, as always
}
