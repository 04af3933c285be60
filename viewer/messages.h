// The viewer's own messages: text from files shown with its unprintable
// bytes escaped, and the library's warnings while a model is read and
// prepared, passed on to standard error once each.
#pragma once

#include <string>
#include <string_view>

#include "shown_text.h"

// One line on standard error, escaped, then exit status 1.
[[noreturn]] void refuse(const std::string& message);

// While it lives, the library's warnings come here instead of being
// printed: each goes to standard error once, escaped, when the relay ends;
// a warning made again is counted and the count printed under it as
// "(N more like it)". A material library that could not be opened gets
// "; drawing with the default material", and materials then not found are
// not reported (the library's line explains them). Set up one relay at a
// time.
class MessageRelay {
 public:
  MessageRelay();
  ~MessageRelay();
  MessageRelay(const MessageRelay&) = delete;
  MessageRelay& operator=(const MessageRelay&) = delete;

  void take(const char* message);

 private:
  WarningTally warnings_;
  bool libraryMissing_ = false;
};
