// A straightforward reader of OBJ files and their MTL libraries through
// formatted stdio: two passes, fscanf per keyword and per number, fgets for
// the rest of a line, exactly as the reading rules put it. It is slow on
// purpose and shares no code with the library's reader, so it serves both as
// the reader benchmark's baseline and as the oracle that the differential
// reader test holds glmReadOBJ to.
//
// Its errors print the library's messages and end the process. Arrays are
// allocated cleared, so values a short statement leaves unwritten read as 0,
// as the library stores them. Where glibc's scanf is looser than the rules
// (a failed conversion may swallow a sign or an "n"/"i" that starts a
// word), the library follows the rules; inputs meant for comparison avoid
// those spots.
#ifndef CELSHADE_TESTS_STDIO_READER_H
#define CELSHADE_TESTS_STDIO_READER_H

#include <glm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace stdio_reader {

// Directory part of a path, up to and including its last '/'.
inline std::string dirName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Rest of the line after a keyword (at most 127 bytes), as the name's one word.
inline void readName(FILE* f, char* name) {
  char line[128];
  name[0] = '\0';
  if (fgets(line, sizeof line, f)) sscanf(line, "%127s", name);
}

// One formatted read of a statement's numbers; those it misses stay unwritten.
__attribute__((format(scanf, 2, 3))) inline void scanSome(FILE* f, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int converted = vfscanf(f, format, args);
  va_end(args);
  (void)converted;
}

inline void skipLine(FILE* f) {
  char line[128];
  if (!fgets(line, sizeof line, f)) return;
}

// Rest of the line less its last character, the newline.
inline void readGroupName(FILE* f, char* line) {
  line[0] = '\0';
  if (fgets(line, 128, f) && line[0]) line[strlen(line) - 1] = '\0';
}

inline void readMtl(GLMmodel* model, const char* name) {
  std::string file = dirName(model->path) + name;
  FILE* f = fopen(file.c_str(), "r");
  if (!f) {
    fprintf(stderr, "glmReadMTL() failed: can't open material file \"%s\".\n", file.c_str());
    exit(1);
  }
  char buf[128];
  GLuint count = 1;
  while (fscanf(f, "%127s", buf) == 1) {
    if (buf[0] == 'n') count++;
    skipLine(f);
  }
  rewind(f);
  if (model->materials)
    for (GLuint i = 0; i < model->materialcount; i++) free(model->materials[i].name);
  free(model->materials);
  model->materials = static_cast<GLMmaterial*>(malloc(count * sizeof(GLMmaterial)));
  model->materialcount = count;
  for (GLuint i = 0; i < count; i++) {
    GLMmaterial& m = model->materials[i];
    m = GLMmaterial();
    m.shininess = 65;
    for (int c = 0; c < 4; c++) {
      m.diffuse[c] = c < 3 ? 0.8f : 1;
      m.ambient[c] = c < 3 ? 0.2f : 1;
      m.specular[c] = c < 3 ? 0 : 1;
    }
  }
  model->materials[0].name = strdup("default");
  GLuint current = 0;
  while (fscanf(f, "%127s", buf) == 1) {
    GLMmaterial& m = model->materials[current];
    switch (buf[0]) {
      case 'n': {
        char word[128];
        readName(f, word);
        model->materials[++current].name = strdup(word);
        break;
      }
      case 'N':
        if (buf[1] != 's') {  // Ni and the other N statements are not the shininess
          skipLine(f);
          break;
        }
        scanSome(f, "%f", &m.shininess);  // without its number it scales the old value
        m.shininess /= 1000;
        m.shininess *= 128;
        break;
      case 'K': {
        GLfloat* rgb = buf[1] == 'd'   ? m.diffuse
                       : buf[1] == 'a' ? m.ambient
                       : buf[1] == 's' ? m.specular
                                       : nullptr;
        if (rgb)
          scanSome(f, "%f %f %f", &rgb[0], &rgb[1], &rgb[2]);
        else
          skipLine(f);
        break;
      }
      default: skipLine(f);
    }
  }
  fclose(f);
}

enum Form { kVertex, kVertexTexcoord, kVertexTexcoordNormal, kVertexNormal };
struct Corner {
  int v, t, n;
};

// Reads the first corner as a token; its shape decides the face's form.
inline Form readFirstCorner(FILE* f, Corner& c) {
  char token[128];
  if (fscanf(f, "%127s", token) != 1) return kVertex;
  if (strstr(token, "//")) {
    sscanf(token, "%d//%d", &c.v, &c.n);
    return kVertexNormal;
  }
  if (sscanf(token, "%d/%d/%d", &c.v, &c.t, &c.n) == 3) return kVertexTexcoordNormal;
  if (sscanf(token, "%d/%d", &c.v, &c.t) == 2) return kVertexTexcoord;
  sscanf(token, "%d", &c.v);
  return kVertex;
}

// One more corner with the face's pattern; true when it converted a number.
inline bool readCorner(FILE* f, Form form, Corner& c) {
  int n;
  switch (form) {
    case kVertexNormal: n = fscanf(f, "%d//%d", &c.v, &c.n); break;
    case kVertexTexcoordNormal: n = fscanf(f, "%d/%d/%d", &c.v, &c.t, &c.n); break;
    case kVertexTexcoord: n = fscanf(f, "%d/%d", &c.v, &c.t); break;
    default: n = fscanf(f, "%d", &c.v);
  }
  return n > 0;
}

// Counts, groups and the material library.
inline void firstPass(GLMmodel* model, FILE* f) {
  GLMgroup* group = glmAddGroup(model, "default");
  char buf[128];
  while (fscanf(f, "%127s", buf) == 1) {
    switch (buf[0]) {
      case 'v':
        if (buf[1] == '\0') {
          model->vertexcount++;
        } else if (buf[1] == 'n') {
          model->normalcount++;
        } else if (buf[1] == 't') {
          model->texcoordcount++;
        } else {
          printf("glmFirstPass(): Unknown token \"%s\".\n", buf);
          exit(1);
        }
        skipLine(f);
        break;
      case 'm': {
        char name[128];
        readName(f, name);
        free(model->mtllib);
        model->mtllib = strdup(name);
        readMtl(model, name);
        break;
      }
      case 'g': {
        char line[128];
        readGroupName(f, line);
        group = glmAddGroup(model, line);
        break;
      }
      case 'f': {
        Corner c{0, 0, 0};
        Form form = readFirstCorner(f, c);
        readCorner(f, form, c);
        readCorner(f, form, c);
        GLuint triangles = 1;
        while (readCorner(f, form, c)) triangles++;
        model->trianglecount += triangles;
        group->trianglecount += triangles;
        break;
      }
      default: skipLine(f);
    }
  }
}

// Coordinates, triangles in fan order, group membership and materials.
struct SecondPass {
  GLMmodel* model;
  GLMgroup* group;
  GLuint material = 0, nextVertex = 1, nextNormal = 1, nextTexcoord = 1, nextTriangle = 0;

  void setCorner(GLMtriangle& t, int k, Form form, const Corner& c) const {
    t.vertexidx[k] = GLuint(c.v < 0 ? c.v + int(nextVertex) : c.v);
    t.texcoordidx[k] = form == kVertexTexcoord || form == kVertexTexcoordNormal
                           ? GLuint(c.t < 0 ? c.t + int(nextTexcoord) : c.t)
                           : 0;
    t.normalidx[k] = form == kVertexNormal || form == kVertexTexcoordNormal
                         ? GLuint(c.n < 0 ? c.n + int(nextNormal) : c.n)
                         : 0;
  }
  void store() {
    group->triangles[group->trianglecount++] = nextTriangle;
    nextTriangle++;
  }
  void face(FILE* f) {
    Corner c{0, 0, 0};
    Form form = readFirstCorner(f, c);
    GLMtriangle* t = &model->triangles[nextTriangle];
    t->facetnormidx = 0;
    setCorner(*t, 0, form, c);
    readCorner(f, form, c);
    setCorner(*t, 1, form, c);
    readCorner(f, form, c);
    setCorner(*t, 2, form, c);
    store();
    // Fan around the first corner: each new triangle reuses two corners of
    // the one stored just before it.
    while (readCorner(f, form, c)) {
      GLMtriangle* prev = t;
      t = &model->triangles[nextTriangle];
      *t = *prev;
      t->vertexidx[1] = prev->vertexidx[2];
      t->normalidx[1] = prev->normalidx[2];
      t->texcoordidx[1] = prev->texcoordidx[2];
      setCorner(*t, 2, form, c);
      store();
    }
  }
  void run(FILE* f) {
    group = glmFindGroup(model, "default");
    char buf[128];
    while (fscanf(f, "%127s", buf) == 1) {
      switch (buf[0]) {
        case 'v': {
          if (buf[1] == 't') {
            GLfloat* v = &model->texcoords[2 * nextTexcoord++];
            scanSome(f, "%f %f", &v[0], &v[1]);
          } else {
            GLfloat* v = buf[1] == 'n' ? &model->normals[3 * nextNormal++]
                                       : &model->vertices[3 * nextVertex++];
            scanSome(f, "%f %f %f", &v[0], &v[1], &v[2]);
          }
          break;
        }
        case 'g': {
          char line[128];
          readGroupName(f, line);
          group = glmFindGroup(model, line);
          group->material = material;
          break;
        }
        case 'u': {
          char name[128];
          readName(f, name);
          material = glmFindMaterial(model, name);
          group->material = material;
          break;
        }
        case 'f': face(f); break;
        default: skipLine(f);
      }
    }
  }
};

// Reads the OBJ file at path; ends the process when it or its library
// cannot be opened, or on an unknown "v" keyword.
inline GLMmodel* read(const char* path) {
  FILE* f = fopen(path, "r");
  if (!f) {
    fprintf(stderr, "glmReadOBJ() failed: can't open data file \"%s\".\n", path);
    exit(1);
  }
  GLMmodel* model = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  model->path = strdup(path);
  firstPass(model, f);
  for (GLMgroup* g = model->groups; g; g = g->next) {
    g->triangles = static_cast<GLuint*>(malloc(g->trianglecount * sizeof(GLuint) + 1));
    g->trianglecount = 0;
  }
  auto floats = [](size_t count) { return static_cast<GLfloat*>(calloc(count, sizeof(GLfloat))); };
  model->vertices = floats(3 * (size_t(model->vertexcount) + 1));
  model->triangles =
      static_cast<GLMtriangle*>(malloc(sizeof(GLMtriangle) * model->trianglecount + 1));
  if (model->normalcount) model->normals = floats(3 * (size_t(model->normalcount) + 1));
  if (model->texcoordcount) model->texcoords = floats(2 * (size_t(model->texcoordcount) + 1));
  rewind(f);
  SecondPass{model, nullptr}.run(f);
  fclose(f);
  return model;
}

}  // namespace stdio_reader

#endif  // CELSHADE_TESTS_STDIO_READER_H
