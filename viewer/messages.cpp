// The viewer's messages: escaping text from files and passing on the
// library's warnings.
#include "messages.h"

#include <glm.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

void refuse(const std::string& message) {
  fprintf(stderr, "%s\n", printable(message).c_str());
  exit(1);
}

MessageRelay::MessageRelay() {
  glmSetMessageHandler([](void* user, const char* m) { static_cast<MessageRelay*>(user)->take(m); },
                       this);
}

MessageRelay::~MessageRelay() {
  glmSetMessageHandler(nullptr, nullptr);
  warnings_.flush();
}

void MessageRelay::take(const char* message) {
  std::string line = printable(message);
  if (line.find(": can't open material library \"") != std::string::npos) {
    libraryMissing_ = true;
    line += "; drawing with the default material";
  } else if (libraryMissing_ && startsWith(line, "glmFindMaterial():")) {
    return;
  }
  warnings_.add(line);
}
