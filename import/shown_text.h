// Text the programs (celshade-mesh, the viewer) show: bytes from files
// escaped, numbers grouped, and warnings shown once each.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// `text` with every byte that is not printable shown as \xNN (two lower-case
// hex digits): control characters, DEL, and bytes that are not part of a
// well-formed UTF-8 character (or that form a C1 control). Printable ASCII
// and UTF-8 text pass unchanged, so escaping twice changes nothing more.
std::string printable(std::string_view text);

// 3104 -> "3,104".
std::string groupedDigits(unsigned long long n);

// Collects warnings and shows each once on standard error: a warning made
// again is counted, and shown under its first line as "(N more like it)".
// Every line starts with `prefix` ("celshade-mesh: ", or nothing).
class WarningTally {
 public:
  explicit WarningTally(std::string prefix = std::string()) : prefix_(std::move(prefix)) {}

  void add(const std::string& message);
  // Shows the warnings added since the last call, in the order they first
  // came, each with its count of repeats so far; a warning shown already
  // is counted but not shown again.
  void flush();

 private:
  std::string prefix_;
  std::vector<std::pair<std::string, unsigned long long>> made_;  // with repeats
  std::unordered_map<std::string, size_t> index_;                 // into made_
  size_t shown_ = 0;
};
