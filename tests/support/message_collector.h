// Collects the library's warnings through the message handler while it
// lives, instead of letting them print.
#ifndef CELSHADE_TESTS_MESSAGE_COLLECTOR_H
#define CELSHADE_TESTS_MESSAGE_COLLECTOR_H

#include <string>
#include <vector>

#include "glm.h"

struct Collector {
  std::vector<std::string> messages;
  Collector() { glmSetMessageHandler(collect, this); }
  ~Collector() { glmSetMessageHandler(nullptr, nullptr); }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;
  static void collect(void* user, const char* message) {
    static_cast<Collector*>(user)->messages.push_back(message);
  }
};

#endif  // CELSHADE_TESTS_MESSAGE_COLLECTOR_H
