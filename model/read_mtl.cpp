// The MTL reader: a material library's text scanned twice, counting the
// materials, then storing their names, colours, shininess, diffuse maps and
// the statements they keep as they are.
#include "read_lex.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace read_detail {
namespace {

// What an MTL statement is.
enum class MtlStatement {
  Comment,
  Material,
  Diffuse,
  Ambient,
  Specular,
  Shininess,
  DiffuseMap,
  Other
};

// Tells a statement by its keyword [keyword, end): a keyword that begins
// with 'n' defines a material; one that begins with 'K' is a colour by its
// second character (d, a, s), one that begins with 'N' the shininess when
// its second is 's'; map_Kd, the diffuse map, goes by its whole keyword;
// '#' begins a comment. Read leniently, every keyword goes by its whole
// word: only newmtl, Kd, Ka, Ks, Ns and map_Kd are modelled. Every other
// statement is kept as it is.
MtlStatement classify(const char* keyword, const char* end, bool lenient) {
  const std::string_view word(keyword, size_t(end - keyword));
  if (word[0] == '#') return MtlStatement::Comment;
  if (word == "map_Kd") return MtlStatement::DiffuseMap;
  if (lenient)
    return word == "newmtl" ? MtlStatement::Material
           : word == "Kd"   ? MtlStatement::Diffuse
           : word == "Ka"   ? MtlStatement::Ambient
           : word == "Ks"   ? MtlStatement::Specular
           : word == "Ns"   ? MtlStatement::Shininess
                            : MtlStatement::Other;
  const char second = word.size() >= 2 ? word[1] : 0;
  switch (word[0]) {
    case 'n': return MtlStatement::Material;
    case 'K':
      return second == 'd'   ? MtlStatement::Diffuse
             : second == 'a' ? MtlStatement::Ambient
             : second == 's' ? MtlStatement::Specular
                             : MtlStatement::Other;
    case 'N': return second == 's' ? MtlStatement::Shininess : MtlStatement::Other;
    default: return MtlStatement::Other;
  }
}

struct MtlScan {
  const char* name;  // composed file name
  Text& text;
  Failure& error;
  bool lenient;                      // keywords matched whole, a lone carriage return ends a line
  GLMmaterial* materials = nullptr;  // null while counting
  uint64_t count = 1;
  std::vector<std::string> statements;  // per material, while storing
  const char* counted = nullptr;        // lines are counted up to here
  size_t line = 1;                      // the line of `counted`

  // Fails with "file:line: what: `statement`" for the statement at `at`.
  bool fail(const char* what, const char* at) {
    return read_detail::fail(error, name, what, &text, at);
  }
  // The line of p, at or after every p asked before.
  size_t lineAt(const char* p) {
    if (!counted) counted = text.data;
    for (const char* q = counted; (q = static_cast<const char*>(memchr(q, '\n', size_t(p - q))));
         ++q)
      line++;
    counted = p;
    return line;
  }
};

// The statement [keyword, stop) without its line's end.
std::string_view statementText(const char* keyword, const char* stop) {
  if (stop > keyword && stop[-1] == '\n') --stop;
  if (stop > keyword && stop[-1] == '\r') --stop;
  return cString(keyword, stop);
}

// Stores the diffuse map of the statement [keyword, stop) in `mat` and
// sets `stored`, unless the statement names no image (it is then kept as
// it is). False when out of memory.
bool storeDiffuseMap(MtlScan& s, GLMmaterial& mat, const char* keyword, const char* stop,
                     bool& stored) {
  const std::string_view statement = statementText(keyword, stop);
  std::string_view options;
  std::string image;
  stored = splitMapStatement(statement.substr(6), options, image);
  if (!stored) return true;
  free(mat.diffusemap);
  free(mat.diffusemapoptions);
  mat.diffusemap = copyName(resolveMapName(s.name, image));
  mat.diffusemapoptions = options.empty() ? nullptr : copyName(options);
  mat.diffusemapline = GLuint(s.lineAt(keyword));
  return mat.diffusemap && (options.empty() || mat.diffusemapoptions);
}

// One scan of the library: counting the materials (Store false) or storing
// them (Store true). Colours and shininess lex their numbers in both scans,
// so the scans agree on which keywords define materials.
template <bool Store>
bool scanMtl(MtlScan& s) {
  const char* p = s.text.data;
  const char* const end = s.text.end();
  size_t releaseAt = kReleaseStep;  // offset of the next page hand-back
  uint64_t current = 0;
  for (;;) {
    p = nextKeyword(s.text, p, releaseAt);
    if (p == end) break;
    const char* keyword = p;
    p = skipWord(p, end);
    GLMmaterial* mat = Store ? &s.materials[current] : nullptr;
    const MtlStatement kind = classify(keyword, p, s.lenient);
    switch (kind) {
      case MtlStatement::Material: {
        const char* stop = lineEnd(p, end, s.lenient);
        if (Store) {
          if (++current >= s.count) return s.fail("internal error: the passes disagree", keyword);
          char* copy = copyName(firstWord(p, stop));
          if (!copy) return s.fail("out of memory", keyword);
          s.materials[current].name = copy;
        } else {
          s.count++;
        }
        p = stop;
        break;
      }
      case MtlStatement::Shininess: {
        float value = Store ? mat->shininess : 0;
        bool bad = false;
        p = readFloats<Store>(p, end, 1, &value, bad);
        if (bad) return s.fail("number out of range", keyword);
        if (Store) {
          // From the file's 0..1000 to OpenGL's 0..128, each step rounded to float.
          value = value / 1000.0f;
          mat->shininess = value * 128.0f;
        }
        break;
      }
      case MtlStatement::Diffuse:
      case MtlStatement::Ambient:
      case MtlStatement::Specular: {
        float sink[3];
        float* colour = !Store                          ? sink
                        : kind == MtlStatement::Diffuse ? mat->diffuse
                        : kind == MtlStatement::Ambient ? mat->ambient
                                                        : mat->specular;
        bool bad = false;
        p = readFloats<Store>(p, end, 3, colour, bad);
        if (bad) return s.fail("number out of range", keyword);
        break;
      }
      case MtlStatement::Comment: p = lineEnd(p, end, s.lenient); break;
      case MtlStatement::DiffuseMap:
      case MtlStatement::Other: {
        p = lineEnd(p, end, s.lenient);
        if (!Store) break;
        bool stored = false;
        if (kind == MtlStatement::DiffuseMap && !storeDiffuseMap(s, *mat, keyword, p, stored))
          return s.fail("out of memory", keyword);
        if (!stored) s.statements[current].append(statementText(keyword, p)).push_back('\n');
        break;
      }
    }
  }
  return true;
}

void freeMaterials(GLMmaterial* materials, GLuint count) {
  if (!materials) return;
  for (GLuint i = 0; i < count; i++) freeMaterialStrings(materials[i]);
  free(materials);
}

// Gives the model the materials of a library, keeping the ones it held
// when they belong to a library read before.
void installMaterials(Libraries& libraries, GLMmaterial* materials, GLuint count) {
  GLMmodel* m = libraries.model;
  bool remembered = false;
  for (const Libraries::Library& library : libraries.read)
    remembered |= library.materials == m->materials;
  if (!remembered) freeMaterials(m->materials, m->materialcount);
  m->materials = materials;
  m->materialcount = count;
}

// Puts the materials of a library after the model's (a lenient read), all
// of them when the model has none; else its material 0 is dropped (at most
// 4294967295 in all). False when out of memory; the library's materials are
// then still the caller's.
bool appendMaterials(GLMmodel* m, GLMmaterial* materials, GLuint count) {
  if (!m->materials) {
    m->materials = materials;
    m->materialcount = count;
    return true;
  }
  const size_t total = size_t(m->materialcount) + count - 1;
  GLMmaterial* all = static_cast<GLMmaterial*>(malloc(total * sizeof(GLMmaterial)));
  if (!all) return false;
  memcpy(all, m->materials, m->materialcount * sizeof(GLMmaterial));
  memcpy(all + m->materialcount, materials + 1, (count - 1) * sizeof(GLMmaterial));
  free(m->materials);           // its records moved, not what they own
  freeMaterials(materials, 1);  // the library's material 0, and its array
  m->materials = all;
  m->materialcount = GLuint(total);
  return true;
}

}  // namespace

Libraries::~Libraries() {
  for (const Library& library : read)
    if (library.materials != model->materials) freeMaterials(library.materials, library.count);
}

bool glmReadMTL(GLMmodel* model, std::string_view name, const MtlSource& mtl, Failure& error,
                Libraries& libraries) {
  std::string file = pathBeside(model->path, name);
  // A library read before (the same file, or the same buffer of the
  // caller's) from the same folder gives the same materials, their maps
  // found from that folder alike: take those without loading it.
  uint64_t identity[4];
  if (mtl.identify(file.c_str(), identity))
    for (const Libraries::Library& library : libraries.read)
      if (memcmp(library.identity, identity, sizeof identity) == 0 &&
          library.folder == glmDirName(file.c_str())) {
        if (!mtl.lenient) installMaterials(libraries, library.materials, library.count);
        return true;
      }
  Text text;
  Load load = mtl.load(file.c_str(), text);
  if (load != Load::Ok)
    return failLoad(error, load, file, Fail::OpenMtl, "can't open material file");
  if (!startText(text, error, file)) return false;
  const bool known = text.identity[0] | text.identity[1] | text.identity[2] | text.identity[3];
  MtlScan scan{file.c_str(), text, error, mtl.lenient, nullptr, 1, {}, nullptr, 1};
  scanMtl<false>(scan);
  if (scan.count > UINT32_MAX) return scan.fail("more than 4294967295 materials", text.data);
  text.releaseAll();

  GLMmaterial* materials = static_cast<GLMmaterial*>(malloc(scan.count * sizeof(GLMmaterial)));
  char* defaultName = copyName("default");
  if (!materials || !defaultName) {
    free(materials);
    free(defaultName);
    return fail(error, model->path, "out of memory");
  }
  const GLMmaterial start = glmDefaultMaterial();
  for (uint64_t i = 0; i < scan.count; i++) materials[i] = start;
  materials[0].name = defaultName;
  scan.materials = materials;
  scan.statements.resize(scan.count);
  bool stored = scanMtl<true>(scan);
  for (uint64_t i = 0; stored && i < scan.count; i++) {
    GLMmaterial& material = materials[i];
    const std::string& statements = scan.statements[i];
    material.library = copyName(file);
    if (!statements.empty()) material.statements = copyName(statements);
    if (!material.library || (!statements.empty() && !material.statements))
      stored = fail(error, file, "out of memory");
  }
  if (!stored) {
    freeMaterials(materials, GLuint(scan.count));
    return false;
  }
  if (!mtl.lenient) {
    installMaterials(libraries, materials, GLuint(scan.count));
  } else {
    const char* problem = uint64_t(model->materialcount) + scan.count - 1 > UINT32_MAX
                              ? "more than 4294967295 materials"
                          : appendMaterials(model, materials, GLuint(scan.count)) ? nullptr
                                                                                  : "out of memory";
    if (problem) {
      freeMaterials(materials, GLuint(scan.count));
      return fail(error, model->path, problem);
    }
  }
  if (known) {
    // Read leniently, its materials are the model's now: only its identity is kept.
    libraries.read.push_back(Libraries::Library{{},
                                                glmDirName(file.c_str()),
                                                mtl.lenient ? nullptr : materials,
                                                mtl.lenient ? 0 : GLuint(scan.count)});
    memcpy(libraries.read.back().identity, text.identity, sizeof text.identity);
  }
  return true;
}

}  // namespace read_detail
