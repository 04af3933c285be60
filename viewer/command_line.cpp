// The command line: options and their values, model files, --help and the
// usage errors.
#include "command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "messages.h"

static const char kUsage[] =
    "usage: celshade [--ramp FILE] [--keys KEYS] [--snapshot FILE.png] [--size WxH]\n"
    "                [--turn YAW[,PITCH]] [--up AXIS] [--turntable N] [--background COLOR]\n"
    "                [MODEL ...]\n";

// The usage text on standard error, after `problem` when there is one;
// exit status 2.
[[noreturn]] static void usageError(const std::string& problem = "") {
  if (!problem.empty()) fprintf(stderr, "celshade: %s\n", printable(problem).c_str());
  fputs(kUsage, stderr);
  exit(2);
}

[[noreturn]] static void printHelp() {
  fputs(kUsage, stdout);
  fputs(
      "\n"
      "Shows each model twice side by side: lit on the left, cel-shaded with a\n"
      "black outline on the right. Without model files it shows cow.obj,\n"
      "penguin.obj and rabbit.obj from the working directory, or the ones\n"
      "installed with it when the working directory has no cow.obj.\n"
      "\n"
      "  MODEL ...             one to nine model files (OBJ, glTF, STL, PLY, any\n"
      "                        format assimp reads); keys 1..9 pick one\n"
      "  --ramp FILE           the shading ramp: 1 to 32 lines of one value from 0 to 1,\n"
      "                        spread over the ramp as equal bands (default:\n"
      "                        Shader.txt in the working directory, else the ramp\n"
      "                        installed with celshade)\n"
      "  --keys KEYS           press these keys in order before the first frame\n"
      "  --snapshot FILE.png   draw the first frame without any display, write it to\n"
      "                        FILE.png and exit\n"
      "  --help                this text\n"
      "\n"
      "With model files only:\n"
      "  --size WxH            window and still size in pixels, 16 to 8192 each\n"
      "                        (default 800x600)\n"
      "  --turn YAW[,PITCH]    start turned YAW degrees about the vertical axis (as\n"
      "                        dragging sideways turns it), then PITCH about the\n"
      "                        horizontal one\n"
      "  --up AXIS             the model axis that points up: x, y (default), z, -x,\n"
      "                        -y or -z; z shows Z-up models (CAD, Blender) upright\n"
      "  --turntable N         with --snapshot FILE.png: N stills FILE-001.png ...,\n"
      "                        each turned 360/N degrees further about the up axis\n"
      "  --background COLOR    #rrggbb, or transparent (stills get alpha 0 around\n"
      "                        the models)\n"
      "  --strict              read OBJ files by the classic rules (statements known\n"
      "                        by their first letters, one library per mtllib, ...)\n"
      "                        instead of as other tools write them\n"
      "\n"
      "Keys: 1..9 model, w/s zoom, a/d move, c colour on/off, p save the picture\n"
      "as celshade-NNN.png, h help, q quit; drag with the left button to rotate.\n",
      stdout);
  exit(0);
}

// The whole of `text` as a finite float.
static bool parseFloat(const char* text, float& value) {
  char* end = nullptr;
  value = strtof(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

// The whole of `text` as a decimal integer from low to high.
static bool parseInt(const char* text, long low, long high, long& value) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  value = strtol(text, &end, 10);
  return *end == '\0' && errno == 0 && value >= low && value <= high;
}

static void parseSize(const char* text, commandLine& line) {
  const char* x = strpbrk(text, "xX");
  long width = 0, height = 0;
  if (!x || !parseInt(std::string(text, x).c_str(), 16, 8192, width) ||
      !parseInt(x + 1, 16, 8192, height))
    usageError(std::string("--size takes WIDTHxHEIGHT, each from 16 to 8192, not \"") + text +
               "\"");
  line.width = int(width), line.height = int(height);
}

static void parseTurn(const char* text, commandLine& line) {
  const char* comma = strchr(text, ',');
  if (!parseFloat(comma ? std::string(text, comma).c_str() : text, line.yaw) ||
      (comma && !parseFloat(comma + 1, line.pitch)))
    usageError(std::string("--turn takes YAW or YAW,PITCH in degrees, not \"") + text + "\"");
}

static void parseUp(const char* text, commandLine& line) {
  static const struct {
    const char* name;
    UpAxis axis;
  } axes[] = {{"x", UpAxis::x},       {"y", UpAxis::y},       {"z", UpAxis::z},
              {"-x", UpAxis::minusX}, {"-y", UpAxis::minusY}, {"-z", UpAxis::minusZ}};
  for (const auto& a : axes)
    if (strcmp(text, a.name) == 0) {
      line.up = a.axis;
      return;
    }
  usageError(std::string("--up takes x, y, z, -x, -y or -z, not \"") + text + "\"");
}

static void parseTurntable(const char* text, commandLine& line) {
  long n = 0;
  if (!parseInt(text, 1, 10000, n))
    usageError(std::string("--turntable takes a number of stills from 1 to 10000, not \"") + text +
               "\"");
  line.turntable = int(n);
}

static void parseBackground(const char* text, commandLine& line) {
  if (strcmp(text, "transparent") == 0) {
    line.background = {0, 0, 0, true};
    return;
  }
  const char* hex = text[0] == '#' ? text + 1 : text;
  unsigned channel[3];
  bool ok = strlen(hex) == 6 && strspn(hex, "0123456789abcdefABCDEF") == 6;
  for (int k = 0; ok && k < 3; ++k) ok = sscanf(hex + 2 * k, "%2x", &channel[k]) == 1;
  if (!ok)
    usageError(std::string("--background takes #rrggbb or transparent, not \"") + text + "\"");
  line.background = {channel[0] / 255.0f, channel[1] / 255.0f, channel[2] / 255.0f, false};
}

commandLine parseCommandLine(int argc, char** argv) {
  commandLine line;
  // Options that take a value: where it goes, or how it is read. The last
  // ones are for runs with model files only.
  struct Option {
    const char* name;
    const char** text;
    void (*parse)(const char*, commandLine&);
    bool given;
  } options[] = {{"--ramp", &line.ramp, nullptr, false},
                 {"--keys", &line.keys, nullptr, false},
                 {"--snapshot", &line.snapshot, nullptr, false},
                 {"--size", nullptr, parseSize, false},
                 {"--turn", nullptr, parseTurn, false},
                 {"--up", nullptr, parseUp, false},
                 {"--turntable", nullptr, parseTurntable, false},
                 {"--background", nullptr, parseBackground, false}};
  const int firstForModels = 3;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (!optionsEnd && word[0] == '-' && word[1] != '\0') {
      if (strcmp(word, "--") == 0) {
        optionsEnd = true;
        continue;
      }
      if (strcmp(word, "--help") == 0) printHelp();
      if (strcmp(word, "--strict") == 0) {
        line.readFlags &= ~GLuint(GLM_READ_LENIENT);
        continue;
      }
      Option* option = nullptr;
      for (Option& o : options)
        if (strcmp(word, o.name) == 0) option = &o;
      if (!option || i + 1 == argc) usageError();
      const char* value = argv[++i];
      option->given = true;
      if (option->text)
        *option->text = value;
      else
        option->parse(value, line);
      continue;
    }
    if (line.models.size() == kMaxModels) usageError();
    line.models.push_back(word);
  }
  for (int k = firstForModels; k < int(sizeof options / sizeof options[0]); ++k)
    if (options[k].given && line.models.empty())
      usageError(std::string(options[k].name) + " is for model files given on the command line");
  if (line.turntable && !line.snapshot) usageError("--turntable needs --snapshot FILE.png");
  if (!(line.readFlags & GLM_READ_LENIENT) && line.models.empty())
    usageError("--strict is for model files given on the command line");
  return line;
}
