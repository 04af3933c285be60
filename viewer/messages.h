// The viewer's own messages: text from files shown with its unprintable
// bytes escaped, and the library's warnings while a model is read and
// prepared, passed on to standard error without repeats.
#pragma once

#include <set>
#include <string>
#include <string_view>

// `text` with every byte that is not printable shown as \xNN (two lower-case
// hex digits): control characters, DEL, and bytes that are not part of a
// well-formed UTF-8 character (or that form a C1 control). Printable ASCII
// and UTF-8 text pass unchanged, so escaping twice changes nothing more.
std::string printable(std::string_view text);

// One line on standard error, escaped, then exit status 1.
[[noreturn]] void refuse(const std::string& message);

// While it lives, the library's warnings come here instead of being
// printed: each goes to standard error once, escaped; a warning repeated
// right after itself is counted and the count printed as "(N more like it)"
// once another comes or the relay ends, and one seen before is dropped. A
// material library that could not be opened gets "; drawing with the
// default material", and materials then not found are not reported (the
// library's line explains them). Set up one relay at a time.
class MessageRelay {
 public:
  MessageRelay();
  ~MessageRelay();
  MessageRelay(const MessageRelay&) = delete;
  MessageRelay& operator=(const MessageRelay&) = delete;

  void take(const char* message);

 private:
  void flush();
  std::set<std::string> seen_;
  std::string last_;
  unsigned long more_ = 0;
  bool libraryMissing_ = false;
};
