// celshade-mesh: reads a model (OBJ, or any format assimp reads), applies
// one operation of the model library and writes the result as OBJ, or
// describes the model. Results go to
// standard output as one line; warnings and errors to standard error.
#include <glm.h>
#include <import.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "keeping.h"
#include "shown_text.h"

namespace {

const char* const kTool = "celshade-mesh";

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

const char* const kModeHelp =
    "  --mode LIST     what to write, comma-separated: flat, smooth, texture,\n"
    "                  material, or none (default: all the model has, smooth\n"
    "                  normals before flat ones)\n";

const char* const kStrictHelp =
    "  --strict        read an OBJ file by the classic rules (statements known by\n"
    "                  their first letters, one library per mtllib, ...) instead\n"
    "                  of as other tools write it\n";

struct Arguments;
struct Warnings;

// One command: how it is called, what it says of itself and what it does.
// Every command takes --strict; those that write a model take --mode and
// read IN and write OUT.obj, the others read one MODEL.
struct Command {
  const char* name;
  const char* usage;                // after "celshade-mesh NAME"
  const char* help;                 // what it does, its own options
  bool writes;                      // reads IN, writes OUT.obj
  std::vector<const char*> valued;  // its own options that take a value
  std::vector<const char*> flags;   // its own options that take none
  // Runs the command on checked arguments; returns the exit status.
  int (*handler)(const Command& c, const Arguments& args, Warnings& warnings);
};

void printCommandHelp(const Command& c) {
  printf("usage: %s %s %s\n\n%s", kTool, c.name, c.usage, c.help);
  if (c.writes) printf("%s", kModeHelp);
  printf("%s", kStrictHelp);
}

// A bad command line: the problem, the usage line, exit status 2.
int usage(const Command* c, const std::string& problem) {
  if (!problem.empty()) fprintf(stderr, "%s: %s\n", kTool, problem.c_str());
  if (c)
    fprintf(stderr, "usage: %s %s %s\n", kTool, c->name, c->usage);
  else
    fprintf(stderr, "usage: %s COMMAND [OPTIONS] FILES (try --help)\n", kTool);
  return kUsage;
}

// Warnings go to standard error, each once: a warning made again (one per
// unused vertex, one per use of a missing material) is counted and shown
// with its count when the step that made it is done.
struct Warnings : WarningTally {
  Warnings() : WarningTally(std::string(kTool) + ": ") {}
  static void handle(void* user, const char* message) {
    static_cast<Warnings*>(user)->add(message);
  }
};

// Parses a finite number at least `low`; false when s is not one.
bool parseNumber(const std::string& s, double low, double high, double& value) {
  if (s.empty()) return false;
  char* end = nullptr;
  value = strtod(s.c_str(), &end);
  return *end == '\0' && std::isfinite(value) && value >= low && value <= high;
}

// "smooth,texture" -> GLM_SMOOTH | GLM_TEXTURE; false on an unknown name.
bool parseMode(const std::string& list, GLuint& mode) {
  mode = GLM_NONE;
  size_t start = 0;
  for (;;) {
    size_t comma = list.find(',', start);
    std::string name =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name == "flat")
      mode |= GLM_FLAT;
    else if (name == "smooth")
      mode |= GLM_SMOOTH;
    else if (name == "texture")
      mode |= GLM_TEXTURE;
    else if (name == "material")
      mode |= GLM_MATERIAL;
    else if (name != "none")
      return false;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Everything the model holds, smooth normals before flat ones.
GLuint fullMode(const GLMmodel* model) {
  GLuint mode = GLM_NONE;
  if (model->normals)
    mode |= GLM_SMOOTH;
  else if (model->facetnorms)
    mode |= GLM_FLAT;
  if (model->texcoords) mode |= GLM_TEXTURE;
  if (model->materials) mode |= GLM_MATERIAL;
  return mode;
}

// The command line of one command: its options (with values) and files.
struct Arguments {
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> options;  // name, value
  bool help = false;
};

// Options named in `valued` take a value ("--angle 30" or "--angle=30"),
// those in `flags` none. Returns an empty string or the problem.
std::string parseArguments(int argc, char** argv, const std::vector<std::string>& valued,
                           const std::vector<std::string>& flags, Arguments& args) {
  bool optionsEnd = false;
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (optionsEnd || a.size() < 2 || a[0] != '-') {
      args.files.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnd = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      args.help = true;
      continue;
    }
    std::string name = a, value;
    size_t eq = a.find('=');
    if (eq != std::string::npos) name = a.substr(0, eq), value = a.substr(eq + 1);
    bool takes = false, known = false;
    for (const std::string& v : valued) takes = takes || v == name;
    for (const std::string& f : flags) known = known || f == name;
    if (takes) {
      if (eq == std::string::npos) {
        if (i + 1 >= argc) return "option " + name + " needs a value";
        value = argv[++i];
      }
    } else if (!known || eq != std::string::npos) {
      return known ? "option " + name + " takes no value" : "unknown option " + a;
    }
    args.options.emplace_back(name, value);
  }
  return std::string();
}

// The last value given for an option, or null.
const std::string* option(const Arguments& args, const char* name) {
  const std::string* found = nullptr;
  for (const auto& o : args.options)
    if (o.first == name) found = &o.second;
  return found;
}

// How an OBJ file is read: as other tools write it, or by the classic rules
// with --strict; a library that cannot be opened is a warning either way.
GLuint readFlags(const Arguments& args) {
  return GLM_READ_OPTIONAL_LIBRARIES | (option(args, "--strict") ? 0 : GLM_READ_LENIENT);
}

// Reads the model with `flags` (readFlags) and the images it holds.
GLMmodel* readModel(const std::string& file, GLuint flags, Warnings& warnings,
                    std::vector<EmbeddedImage>& images) {
  std::string error;
  GLMmodel* model = importModel(file.c_str(), flags, error, &images);
  warnings.flush();
  if (!model) fprintf(stderr, "%s: %s\n", kTool, error.c_str());
  return model;
}

// The bounding box: min and max on x, y, z. Zero without vertices.
void bounds(const GLMmodel* model, GLfloat min[3], GLfloat max[3]) {
  for (int c = 0; c < 3; c++) min[c] = max[c] = model->vertexcount ? model->vertices[3 + c] : 0;
  for (GLuint i = 1; i <= model->vertexcount; i++)
    for (int c = 0; c < 3; c++) {
      GLfloat v = model->vertices[3 * size_t(i) + c];
      if (v < min[c]) min[c] = v;
      if (v > max[c]) max[c] = v;
    }
}

std::string size(const GLMmodel* model) {
  GLfloat min[3], max[3];
  bounds(model, min, max);
  char text[128];
  snprintf(text, sizeof text, "%g x %g x %g", double(max[0] - min[0]), double(max[1] - min[1]),
           double(max[2] - min[2]));
  return text;
}

// Prints what the model holds.
int describe(const std::string& file, GLuint flags, Warnings& warnings) {
  std::vector<EmbeddedImage> images;
  GLMmodel* model = readModel(file, flags, warnings, images);
  if (!model) return kFailed;
  auto count = [](GLuint n, const void* array) {
    return array ? groupedDigits(n) : std::string("none");
  };
  printf("file            %s\n", file.c_str());
  printf("vertices        %s\n", groupedDigits(model->vertexcount).c_str());
  printf("normals         %s\n", count(model->normalcount, model->normals).c_str());
  printf("texcoords       %s\n", count(model->texcoordcount, model->texcoords).c_str());
  printf("facet normals   %s\n", count(model->facetnormcount, model->facetnorms).c_str());
  printf("triangles       %s\n", groupedDigits(model->trianglecount).c_str());
  printf("materials       %s", count(model->materialcount, model->materials).c_str());
  if (model->mtllib) printf(" from %s", model->mtllib);
  printf("\n");
  for (GLuint i = 0; model->materials && i < model->materialcount; i++) {
    const GLMmaterial& material = model->materials[i];
    printf("  %s", material.name);
    if (material.diffusemap) printf(", map %s", material.diffusemap);
    for (size_t k = 0; k < images.size(); k++)
      if (images[k].material == i)
        printf(", map embedded image %zu (%s, %s bytes)", k, images[k].format.c_str(),
               groupedDigits(images[k].bytes.size()).c_str());
    printf("\n");
  }
  printf("groups          %s\n", groupedDigits(model->groupcount).c_str());
  for (const GLMgroup* g = model->groups; g; g = g->next) {
    printf("  \"%s\": %s triangles", g->name, groupedDigits(g->trianglecount).c_str());
    if (model->materials && g->material < model->materialcount)
      printf(", material %s", model->materials[g->material].name);
    printf("\n");
  }
  GLfloat min[3], max[3];
  bounds(model, min, max);
  printf("extent          x %g .. %g, y %g .. %g, z %g .. %g\n", double(min[0]), double(max[0]),
         double(min[1]), double(max[1]), double(min[2]), double(max[2]));
  printf("size            %s\n", size(model).c_str());
  printf("has             %s, %s\n",
         model->normals      ? "vertex normals"
         : model->facetnorms ? "facet normals"
                             : "no normals",
         model->texcoords ? "texture coordinates" : "no texture coordinates");
  glmDelete(model);
  return kOk;
}

// `name` as the library reader finds it from `file`: in its folder.
std::string beside(const std::string& file, const std::string& name) {
  return file.substr(0, file.find_last_of('/') + 1) + name;  // npos + 1 is 0
}

// Names the material library after the output file (out.obj gets out.mtl,
// out.mtl gets out.mtl.mtl), so that an output beside the input under
// another name leaves the input's own library alone. Materials read from
// another format than OBJ come from no library and get one so.
void nameLibraryAfter(GLMmodel* model, const std::string& out) {
  if (!model->materials) return;
  std::string base = out.substr(out.find_last_of('/') + 1);  // npos + 1 is 0
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && dot > 0 && base.compare(dot, std::string::npos, ".mtl") != 0)
    base.resize(dot);
  if (char* name = strdup((base + ".mtl").c_str())) {
    free(model->mtllib);
    model->mtllib = name;
  }
}

// Centres the bounding box on the origin and scales the model so that its
// largest side (max - min) becomes 2, in double. False, the model as it
// was, when there is no such scale (no vertices, one point, a side that is
// not finite).
bool fitToUnitBox(GLMmodel* model, double& scale) {
  GLfloat min[3], max[3];
  bounds(model, min, max);
  double centre[3], largest = 0;
  for (int c = 0; c < 3; c++) {
    centre[c] = (double(min[c]) + max[c]) / 2;
    largest = std::fmax(largest, double(max[c]) - min[c]);
  }
  if (!(largest > 0) || !std::isfinite(largest)) return false;
  scale = 2 / largest;
  for (size_t i = 3; i < 3 * (size_t(model->vertexcount) + 1); i++)
    model->vertices[i] = GLfloat((model->vertices[i] - centre[i % 3]) * scale);
  return true;
}

// Reads in, lets `change` work on the model and say what it did, writes out.
// What the output cannot keep of the input is a warning; a library that
// writing the output would replace with less than it holds is an error.
template <typename Change>
int transform(const Command& c, const Arguments& args, Warnings& warnings, Change change) {
  GLuint mode = 0;
  const std::string* modeList = option(args, "--mode");
  if (modeList && !parseMode(*modeList, mode)) return usage(&c, "bad --mode list " + *modeList);
  const std::string &in = args.files[0], &out = args.files[1];
  const GLuint flags = readFlags(args);
  const bool lenient = flags & GLM_READ_LENIENT;
  std::vector<EmbeddedImage> images;
  GLMmodel* model = readModel(in, flags, warnings, images);
  if (!model) return kFailed;
  if (!modeList) mode = fullMode(model);
  const std::string library = model->mtllib ? beside(in, model->mtllib) : std::string();
  nameLibraryAfter(model, out);
  if ((mode & GLM_MATERIAL) && model->materials && model->mtllib) {
    const std::string replaced = beside(out, model->mtllib);
    const std::string lost = keeping::lostByReplacing(replaced, model, lenient);
    if (!lost.empty()) {
      fprintf(stderr,
              "%s: %s: the output's library would replace it, losing %s; nothing written "
              "(write %s under another name or in another folder)\n",
              kTool, replaced.c_str(), lost.c_str(), out.c_str());
      glmDelete(model);
      return kFailed;
    }
  }
  if (isObjName(in.c_str()))
    for (const std::string& note : keeping::notKeptOfObj(in, model, lenient)) warnings.add(note);
  if (!library.empty())
    for (const std::string& note : keeping::notKeptOfLibrary(library, lenient)) warnings.add(note);
  warnings.flush();

  std::string what;
  if (!change(model, what)) {
    fprintf(stderr, "%s: %s: %s\n", kTool, in.c_str(), what.c_str());
    glmDelete(model);
    return kFailed;
  }
  if (!modeList) mode = fullMode(model);
  std::string imageError;
  if ((mode & GLM_MATERIAL) && !writeEmbeddedImages(images, model, out, imageError)) {
    fprintf(stderr, "%s: %s\n", kTool, imageError.c_str());
    glmDelete(model);
    return kFailed;
  }
  char error[1024];
  bool written = glmTryWriteOBJ(model, out.c_str(), mode, error, sizeof error);
  glmDelete(model);
  warnings.flush();
  if (!written) {
    fprintf(stderr, "%s: %s\n", kTool, error);
    return kFailed;
  }
  printf("%s\n", what.c_str());
  return kOk;
}

int info(const Command&, const Arguments& args, Warnings& warnings) {
  return describe(args.files[0], readFlags(args), warnings);
}

int normals(const Command& c, const Arguments& args, Warnings& warnings) {
  double angle = 90;
  const std::string* value = option(args, "--angle");
  if (value && !parseNumber(*value, 0, 180, angle)) return usage(&c, "bad angle " + *value);
  return transform(c, args, warnings, [&](GLMmodel* model, std::string& what) {
    glmFacetNormals(model);
    glmVertexNormals(model, GLfloat(angle));
    char text[64];
    snprintf(text, sizeof text, "%g", angle);
    what = "computed " + groupedDigits(model->facetnormcount) + " facet normals and " +
           groupedDigits(model->normalcount) + " vertex normals (smoothing angle " + text + ")";
    return true;
  });
}

int weld(const Command& c, const Arguments& args, Warnings& warnings) {
  double epsilon = 0.00001;
  const std::string* value = option(args, "--epsilon");
  if (value && !parseNumber(*value, 0, HUGE_VAL, epsilon))
    return usage(&c, "bad epsilon " + *value);
  return transform(c, args, warnings, [&](GLMmodel* model, std::string& what) {
    GLuint before = model->vertexcount;
    glmWeld(model, GLfloat(epsilon));
    what =
        "welded " + groupedDigits(before) + " vertices into " + groupedDigits(model->vertexcount);
    return true;
  });
}

int texture(const Command& c, const Arguments& args, Warnings& warnings) {
  bool linear = option(args, "--linear"), spheremap = option(args, "--spheremap");
  if (linear == spheremap) return usage(&c, "give one of --linear and --spheremap");
  return transform(c, args, warnings, [&](GLMmodel* model, std::string& what) {
    if (spheremap && !model->normals) {
      what = "spheremap texture coordinates need normals (run `celshade-mesh normals` first)";
      return false;
    }
    if (linear)
      glmLinearTexture(model);
    else
      glmSpheremapTexture(model);
    what = "generated " + groupedDigits(model->texcoordcount) + " texture coordinates (" +
           (linear ? "linear" : "spheremap") + ")";
    return true;
  });
}

int unitize(const Command& c, const Arguments& args, Warnings& warnings) {
  return transform(c, args, warnings, [&](GLMmodel* model, std::string& what) {
    std::string before = size(model);
    double scale;
    if (!fitToUnitBox(model, scale)) {
      what = "left as it is (no largest side to scale to 2): size " + before;
      return true;
    }
    GLfloat min[3], max[3];
    bounds(model, min, max);
    int axis = 0;
    for (int a = 1; a < 3; a++)
      if (max[a] - min[a] > max[axis] - min[axis]) axis = a;
    char text[160];
    snprintf(text, sizeof text, "centred and scaled by %g: size %s -> %s, %c from %g to %g", scale,
             before.c_str(), size(model).c_str(), "xyz"[axis], double(min[axis]),
             double(max[axis]));
    what = text;
    return true;
  });
}

int reverse(const Command& c, const Arguments& args, Warnings& warnings) {
  return transform(c, args, warnings, [&](GLMmodel* model, std::string& what) {
    glmReverseWinding(model);
    what = "reversed the winding of " + groupedDigits(model->trianglecount) + " triangles";
    if (model->normals || model->facetnorms)
      what += " and negated " +
              groupedDigits((model->normals ? model->normalcount : 0) +
                            (model->facetnorms ? model->facetnormcount : 0)) +
              " normals";
    return true;
  });
}

int convert(const Command& c, const Arguments& args, Warnings& warnings) {
  return transform(c, args, warnings, [&](GLMmodel* model, std::string& what) {
    what = "converted " + groupedDigits(model->vertexcount) + " vertices, " +
           groupedDigits(model->trianglecount) + " triangles, " + groupedDigits(model->groupcount) +
           " groups, " + groupedDigits(model->materialcount) + " materials";
    return true;
  });
}

// The commands, in the order --help lists them.
const Command kCommands[] = {
    {"info",
     "MODEL",
     "Prints the model's counts (vertices, normals, texture coordinates,\n"
     "triangles, groups with their triangles and materials, materials with\n"
     "their diffuse maps), its extent and which attributes it has.\n",
     false,
     {},
     {},
     info},
    {"normals",
     "[--angle DEG] [--mode LIST] IN OUT.obj",
     "Computes facet normals and smoothed vertex normals: triangles within DEG\n"
     "degrees of each other around a vertex share one normal.\n"
     "  --angle DEG     smoothing angle, 0 to 180 (default 90)\n",
     true,
     {"--angle"},
     {},
     normals},
    {"weld",
     "[--epsilon E] [--mode LIST] IN OUT.obj",
     "Merges vertices that lie within E of each other in x, y and z.\n"
     "  --epsilon E     tolerance, 0 or more (default 0.00001)\n",
     true,
     {"--epsilon"},
     {},
     weld},
    {"texture",
     "--linear|--spheremap [--mode LIST] IN OUT.obj",
     "Generates texture coordinates.\n"
     "  --linear        one per vertex, projected on the x-z plane\n"
     "  --spheremap     one per normal, from its direction (needs normals)\n",
     true,
     {},
     {"--linear", "--spheremap"},
     texture},
    {"unitize",
     "[--mode LIST] IN OUT.obj",
     "Centres the model's bounding box on the origin and scales it so that its\n"
     "largest side (max - min) becomes 2: the model then spans -1..1 along that\n"
     "axis, wherever it lay. (The library's glmUnitize, which the viewer\n"
     "applies, scales by 2 over |max| + |min| instead, which is the largest\n"
     "side only when the box contains the origin: a model from x = 10 to 12\n"
     "ends 2/11 wide there.)\n",
     true,
     {},
     {},
     unitize},
    {"reverse",
     "[--mode LIST] IN OUT.obj",
     "Reverses the winding of every triangle and negates every normal.\n",
     true,
     {},
     {},
     reverse},
    {"convert",
     "[--mode LIST] IN OUT.obj",
     "Writes the model as it is read: vertices, normals, texture coordinates,\n"
     "groups and materials (the library named after OUT). Images the file\n"
     "holds within itself are written beside OUT as OUT-N.png (or .jpg, ...).\n",
     true,
     {},
     {},
     convert},
};

void printToolHelp(FILE* out) {
  fprintf(out, "usage: %s COMMAND [OPTIONS] FILES\n\ncommands:\n", kTool);
  for (const Command& c : kCommands) fprintf(out, "  %s %s\n", c.name, c.usage);
  fprintf(out,
          "\nA model is an OBJ file (with its material library) or a file of any\n"
          "format assimp reads (glTF, STL, PLY, Collada, 3DS, FBX, ...). Commands\n"
          "that write read IN, change the model and write OUT.obj (and, with\n"
          "materials, the library OUT.mtl beside it). A file is replaced only once\n"
          "it is written whole, and a library only when nothing it holds is lost.\n"
          "Texture maps and the other statements of materials are kept; written\n"
          "into another folder, their images are named from there.\n"
          "What the output cannot keep of the input is listed as warnings. OBJ files\n"
          "are read as other tools write them (whole keywords, lists of libraries,\n"
          "...); --strict reads them by the classic rules.\n"
          "`%s COMMAND --help` describes a command.\n",
          kTool);
}

const Command* findCommand(const char* name) {
  for (const Command& c : kCommands)
    if (strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

// Checks the command line against what c takes, then runs c.
int run(const Command& c, int argc, char** argv, Warnings& warnings) {
  std::vector<std::string> valued(c.valued.begin(), c.valued.end());
  std::vector<std::string> flags{"--strict"};
  if (c.writes) valued.insert(valued.begin(), "--mode");
  flags.insert(flags.end(), c.flags.begin(), c.flags.end());

  Arguments args;
  std::string problem = parseArguments(argc, argv, valued, flags, args);
  if (args.help) {
    printCommandHelp(c);
    return kOk;
  }
  if (!problem.empty()) return usage(&c, problem);
  const size_t files = c.writes ? 2 : 1;
  if (args.files.size() != files)
    return usage(&c, args.files.size() < files ? "missing file name" : "too many file names");
  return c.handler(c, args, warnings);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(nullptr, "no command");
  std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    printToolHelp(stdout);
    return kOk;
  }
  const Command* c = findCommand(argv[1]);
  if (!c) return usage(nullptr, "unknown command " + first);
  Warnings warnings;
  glmSetMessageHandler(&Warnings::handle, &warnings);
  int status = run(*c, argc - 2, argv + 2, warnings);
  warnings.flush();
  glmSetMessageHandler(nullptr, nullptr);
  return status;
}
