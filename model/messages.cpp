// What the library says: its warnings, which go to a handler the program
// sets or else to the stream each function names, the messages of failed
// reads and writes, and the report of a failed assertion.
#include "glm_internal.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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
    fprintf(stream, "%s\n", line.c_str());  // one call per line
}

void copyMessage(const Failure& failure, char* buffer, size_t size) {
  if (buffer && size) snprintf(buffer, size, "%s", failure.message.c_str());
}

void exitWithFailure(const Failure& failure, FailingCall call) {
  const bool read = call == FailingCall::Read;
  const char* subject = failure.subject.c_str();
  switch (failure.kind) {
    case Fail::OpenObj:
      fprintf(stderr,
              read ? "glmReadOBJ() failed: can't open data file \"%s\".\n"
                   : "glmWriteOBJ() failed: can't open file \"%s\" to write.\n",
              subject);
      break;
    case Fail::OpenMtl:
      fprintf(stderr,
              read ? "glmReadMTL() failed: can't open material file \"%s\".\n"
                   : "glmWriteMTL() failed: can't open file \"%s\".\n",
              subject);
      break;
    case Fail::UnknownToken: printf("glmFirstPass(): Unknown token \"%s\".\n", subject); break;
    case Fail::Other:
      fprintf(stderr, read ? "%s\n" : "glmWriteOBJ() failed: %s\n", failure.message.c_str());
      break;
  }
  exit(1);
}

void assertionFailed(const char* expression, const char* file, unsigned line,
                     const char* function) noexcept {
  fprintf(stderr, "%s: glm.cpp: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
          file, line, function, expression);
  abort();
}
