// Texture map statements of material libraries: their options and image
// names, and the names that find the same image from another folder.
#include "glm_internal.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The word of `text` at `at` or after it (empty at the end); `at` moves past it.
std::string_view nextWord(std::string_view text, size_t& at) {
  while (at < text.size() && isBlank(text[at])) at++;
  const size_t start = at;
  while (at < text.size() && !isBlank(text[at])) at++;
  return text.substr(start, at - start);
}

bool isNumber(std::string_view word) {
  if (!word.empty() && word[0] == '+') word.remove_prefix(1);
  float value;
  auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return error == std::errc() && end == word.data() + word.size();
}

// An option of a map statement and the words it takes: at least `least`,
// at most `most`, numbers only when `numbers` (the optional ones are taken
// while they are numbers).
struct MapOption {
  const char* name;
  int least, most;
  bool numbers;
};

const MapOption kMapOptions[] = {
    {"-s", 1, 3, true},      {"-o", 1, 3, true},       {"-t", 1, 3, true},
    {"-mm", 1, 2, true},     {"-bm", 1, 1, true},      {"-boost", 1, 1, true},
    {"-clamp", 1, 1, false}, {"-blendu", 1, 1, false}, {"-blendv", 1, 1, false},
    {"-cc", 1, 1, false},    {"-texres", 1, 1, false}, {"-imfchan", 1, 1, false},
    {"-type", 1, 1, false}};

const MapOption* findOption(std::string_view word) {
  for (const MapOption& option : kMapOptions)
    if (word == option.name) return &option;
  return nullptr;
}

// The components of an absolute path, "." and ".." taken by their names.
std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  return parts;
}

// `path` made absolute from the working folder; empty when that is unknown.
std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  while (!getcwd(cwd.data(), cwd.size())) {
    if (errno != ERANGE) return std::string();
    cwd.resize(cwd.size() * 2);
  }
  return std::string(cwd.data()) + "/" + path;
}

}  // namespace

bool isMapKeyword(std::string_view keyword) {
  if (keyword.substr(0, 4) == "map_") return keyword != "map_aat";  // map_aat takes on or off
  return keyword == "bump" || keyword == "disp" || keyword == "decal" || keyword == "norm" ||
         keyword == "refl";
}

bool splitMapStatement(std::string_view rest, std::string_view& options, std::string& image) {
  size_t at = 0, optionsStart = std::string_view::npos, optionsEnd = 0;
  for (;;) {
    size_t before = at;
    std::string_view word = nextWord(rest, at);
    const MapOption* option = findOption(word);
    if (!option) {
      at = before;
      break;
    }
    if (optionsStart == std::string_view::npos) optionsStart = size_t(word.data() - rest.data());
    int taken = 0;
    for (size_t next = at; taken < option->most; taken++) {
      std::string_view argument = nextWord(rest, next);
      if (argument.empty() || (option->numbers && taken >= option->least && !isNumber(argument)))
        break;
      at = next;
    }
    if (taken < option->least) return false;  // the name would be an option's argument
    optionsEnd = at;
  }
  while (at < rest.size() && isBlank(rest[at])) at++;
  size_t end = rest.size();
  while (end > at && isBlank(rest[end - 1])) end--;
  if (end == at) return false;
  image.assign(rest.substr(at, end - at));
  for (char& c : image)
    if (c == '\\') c = '/';
  while (image.size() > 2 && image.compare(0, 2, "./") == 0) image.erase(0, 2);
  options = optionsStart == std::string_view::npos
                ? std::string_view()
                : rest.substr(optionsStart, optionsEnd - optionsStart);
  return true;
}

std::string resolveMapName(const char* library, const std::string& image) {
  if (image[0] == '/' || !library) return image;
  return pathBeside(library, image);
}

std::string nameFromFolder(const std::string& folder, const std::string& path) {
  if (path.empty()) return path;
  const bool bothRelative = path[0] != '/' && (folder.empty() || folder[0] != '/');
  const std::string from = absolute(folder), to = absolute(path);
  if (from.empty() || to.empty()) return path;
  const std::vector<std::string_view> a = components(from), b = components(to);
  size_t common = 0;
  while (common < a.size() && common + 1 < b.size() && a[common] == b[common]) common++;
  if (common == 0 && !bothRelative) return to;  // nothing in common but the root
  std::string name;
  for (size_t i = common; i < a.size(); i++) name += "../";
  for (size_t i = common; i < b.size(); i++) name.append(b[i]).append(i + 1 < b.size() ? "/" : "");
  return name;
}

bool sameFolder(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const std::string x = absolute(a), y = absolute(b);
  return !x.empty() && components(x) == components(y);
}
