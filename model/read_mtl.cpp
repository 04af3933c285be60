// The MTL reader: a material library's text scanned twice, counting the
// materials, then storing their names, colours and shininess.
#include "read_lex.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace read_detail {
namespace {

struct MtlScan {
  const char* name;  // composed file name
  Text& text;
  Failure& error;
  bool lenient;  // keywords matched whole, a lone carriage return ends a line
  GLMmaterial* materials = nullptr;  // null while counting
  uint64_t count = 1;

  // Fails with "file:line: what: `statement`" for the statement at `at`.
  bool fail(const char* what, const char* at) {
    return read_detail::fail(error, name, what, &text, at);
  }
};

// The statement the keyword [keyword, after) makes, by the letter the
// classic rules know it by: 'n' a material, 'N' shininess, 'K' a colour (of
// the second letter), anything else a statement not read. Those rules look
// at the first letter (the first two of a colour); read leniently only
// newmtl, Ns, Ka, Kd and Ks are these, and every other keyword gives 0.
char statementLetter(const char* keyword, const char* after, bool lenient) {
  const size_t n = size_t(after - keyword);
  if (!lenient) return keyword[0];
  if (n == 6 && memcmp(keyword, "newmtl", 6) == 0) return 'n';
  if (n == 2 && keyword[0] == 'N' && keyword[1] == 's') return 'N';
  if (n == 2 && keyword[0] == 'K' && (keyword[1] == 'a' || keyword[1] == 'd' || keyword[1] == 's'))
    return 'K';
  return 0;
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
    switch (statementLetter(keyword, p, s.lenient)) {
      case 'n': {
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
      case 'N': {
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
      case 'K':
        if (p - keyword >= 2 && (keyword[1] == 'd' || keyword[1] == 'a' || keyword[1] == 's')) {
          float sink[3];
          float* colour = !Store               ? sink
                          : keyword[1] == 'd' ? mat->diffuse
                          : keyword[1] == 'a' ? mat->ambient
                                              : mat->specular;
          bool bad = false;
          p = readFloats<Store>(p, end, 3, colour, bad);
          if (bad) return s.fail("number out of range", keyword);
          break;
        }
        p = lineEnd(p, end, s.lenient);
        break;
      default:
        p = lineEnd(p, end, s.lenient);
        break;
    }
  }
  return true;
}

void freeMaterials(GLMmaterial* materials, GLuint count) {
  if (!materials) return;
  for (GLuint i = 0; i < count; i++) free(materials[i].name);
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
  // caller's) gives the same materials: take those without loading it.
  uint64_t identity[4];
  if (mtl.identify(file.c_str(), identity))
    for (const Libraries::Library& library : libraries.read)
      if (memcmp(library.identity, identity, sizeof identity) == 0) {
        if (!mtl.lenient) installMaterials(libraries, library.materials, library.count);
        return true;
      }
  Text text;
  Load load = mtl.load(file.c_str(), text);
  if (load != Load::Ok)
    return failLoad(error, load, file, Fail::OpenMtl, "can't open material file");
  if (!startText(text, error, file)) return false;
  const bool known = text.identity[0] | text.identity[1] | text.identity[2] | text.identity[3];
  MtlScan scan{file.c_str(), text, error, mtl.lenient};
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
  for (uint64_t i = 0; i < scan.count; i++)
    materials[i] = GLMmaterial{nullptr,          {0.8f, 0.8f, 0.8f, 1.0f},
                               {0.2f, 0.2f, 0.2f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},
                               65.0f};
  materials[0].name = defaultName;
  scan.materials = materials;
  if (!scanMtl<true>(scan)) {
    freeMaterials(materials, GLuint(scan.count));
    return false;
  }
  if (!mtl.lenient) {
    installMaterials(libraries, materials, GLuint(scan.count));
  } else {
    const char* problem =
        uint64_t(model->materialcount) + scan.count - 1 > UINT32_MAX ? "more than 4294967295 materials"
        : appendMaterials(model, materials, GLuint(scan.count))       ? nullptr
                                                                      : "out of memory";
    if (problem) {
      freeMaterials(materials, GLuint(scan.count));
      return fail(error, model->path, problem);
    }
  }
  if (known) {
    // Read leniently, its materials are the model's now: only its identity is kept.
    libraries.read.push_back(Libraries::Library{
        {}, mtl.lenient ? nullptr : materials, mtl.lenient ? 0 : GLuint(scan.count)});
    memcpy(libraries.read.back().identity, text.identity, sizeof text.identity);
  }
  return true;
}

}  // namespace read_detail
