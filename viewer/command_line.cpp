// The command line: options, model files, --help and the usage errors.
#include "command_line.h"

#include "scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char kUsage[] =
    "usage: celshade [--ramp FILE] [--keys KEYS] [--snapshot FILE.png] [MODEL ...]\n";

// The usage line on standard error, exit status 2.
[[noreturn]] static void usageError() {
  fputs(kUsage, stderr);
  exit(2);
}

[[noreturn]] static void printHelp() {
  fputs(kUsage, stdout);
  fputs(
      "\n"
      "Shows each model twice side by side: lit on the left, cel-shaded with a\n"
      "black outline on the right. Without model files it shows cow.obj,\n"
      "penguin.obj and rabbit.obj from the working directory.\n"
      "\n"
      "  MODEL ...             one to nine model files (OBJ, glTF, STL, PLY, any\n"
      "                        format assimp reads); keys 1..9 pick one\n"
      "  --ramp FILE           the shading ramp: up to 32 lines of one intensity each\n"
      "                        (default: Shader.txt in the working directory, else\n"
      "                        the ramp installed with celshade)\n"
      "  --keys KEYS           press these keys in order before the first frame\n"
      "  --snapshot FILE.png   draw the first frame at 800 x 600 without any display,\n"
      "                        write it to FILE.png and exit\n"
      "  --help                this text\n"
      "\n"
      "Keys: 1..9 model, w/s zoom, a/d move, c colour on/off, p save the picture\n"
      "as celshade-NNN.png, h help, q quit; drag with the left button to rotate.\n",
      stdout);
  exit(0);
}

commandLine parseCommandLine(int argc, char** argv) {
  commandLine line;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (options && word[0] == '-' && word[1] != '\0') {
      if (strcmp(word, "--") == 0) {
        options = false;
        continue;
      }
      if (strcmp(word, "--help") == 0) printHelp();
      const char** value = strcmp(word, "--ramp") == 0       ? &line.ramp
                           : strcmp(word, "--keys") == 0     ? &line.keys
                           : strcmp(word, "--snapshot") == 0 ? &line.snapshot
                                                             : nullptr;
      if (!value || i + 1 == argc) usageError();
      *value = argv[++i];
      continue;
    }
    if (line.models.size() == kMaxModels) usageError();
    line.models.push_back(word);
  }
  return line;
}
