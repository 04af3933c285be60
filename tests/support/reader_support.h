// Helpers shared by the reader tests: reading OBJ text from memory with
// libraries from a table, a canonical text dump of a model, and running a
// call in a child process to see its exit status and both output streams.
#ifndef CELSHADE_TESTS_READER_SUPPORT_H
#define CELSHADE_TESTS_READER_SUPPORT_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "glm.h"

namespace reader_test {

// Material libraries by composed name ("dir/" + name as written).
using Libraries = std::map<std::string, std::string>;

inline const char* libraryText(void* user, const char* name, size_t* length) {
  auto* libs = static_cast<Libraries*>(user);
  auto found = libs->find(name);
  if (found == libs->end()) return nullptr;
  *length = found->second.size();
  return found->second.data();
}

struct ModelDeleter {
  void operator()(GLMmodel* m) const { glmDelete(m); }
};
using Model = std::unique_ptr<GLMmodel, ModelDeleter>;

// Result of reading text: the model, or null and the message.
struct Read {
  Model model;
  std::string error;
};

inline Read readText(const std::string& obj, Libraries libs = {}, const char* path = "test.obj") {
  char error[512] = "(untouched)";
  GLMmodel* m =
      glmReadOBJText(path, obj.data(), obj.size(), libraryText, &libs, error, sizeof error);
  Read r{Model(m), m ? std::string() : std::string(error)};
  return r;
}

// Reads text that must be accepted; the test fails with the message otherwise.
inline Model mustRead(const std::string& obj, Libraries libs = {}, const char* path = "test.obj") {
  Read r = readText(obj, std::move(libs), path);
  EXPECT_TRUE(r.model) << r.error;
  return std::move(r.model);
}

inline const GLfloat* vertex(const GLMmodel* m, GLuint i) { return &m->vertices[3 * i]; }
inline const GLfloat* normal(const GLMmodel* m, GLuint i) { return &m->normals[3 * i]; }
inline const GLfloat* texcoord(const GLMmodel* m, GLuint i) { return &m->texcoords[2 * i]; }

// "a b c" of three corner indices.
inline std::string corners(const GLuint* idx) {
  return std::to_string(idx[0]) + " " + std::to_string(idx[1]) + " " + std::to_string(idx[2]);
}

// Every triangle's vertex indices, "a b c" per triangle, joined by " | ".
inline std::string vertexCorners(const GLMmodel* m) {
  std::string out;
  for (GLuint i = 0; i < m->trianglecount; i++)
    out += (i ? " | " : "") + corners(m->triangles[i].vertexidx);
  return out;
}

// The group list in list order: name in brackets, material, triangles.
inline std::string groupList(const GLMmodel* m) {
  std::string out;
  for (const GLMgroup* g = m->groups; g; g = g->next) {
    out += "[" + std::string(g->name) + "] m" + std::to_string(g->material) + ":";
    for (GLuint i = 0; i < g->trianglecount; i++) out += " " + std::to_string(g->triangles[i]);
    out += "\n";
  }
  return out;
}

// Canonical text of everything a model holds (floats with nine significant
// digits, names with control bytes escaped).
inline std::string dumpModel(const GLMmodel* m) {
  std::string out;
  char line[256];
  auto name = [](const char* s) {
    std::string q = "\"";
    for (; s && *s; ++s) {
      if ((unsigned char)*s < 0x20) {
        char esc[8];
        snprintf(esc, sizeof esc, "\\x%02x", (unsigned char)*s);
        q += esc;
      } else {
        q += *s;
      }
    }
    return q + "\"";
  };
  auto vectors = [&](const char* what, GLuint count, const GLfloat* a, int n) {
    snprintf(line, sizeof line, "%s %u\n", what, count);
    out += line;
    for (GLuint i = 1; a && i <= count; i++) {
      snprintf(line, sizeof line, "  %u:", i);
      out += line;
      for (int c = 0; c < n; c++) {
        snprintf(line, sizeof line, " %.9g", double(a[n * i + c]));
        out += line;
      }
      out += "\n";
    }
  };
  out += "path " + name(m->path) + "\nmtllib " + (m->mtllib ? name(m->mtllib) : "none") + "\n";
  vectors("vertices", m->vertexcount, m->vertices, 3);
  vectors("normals", m->normalcount, m->normals, 3);
  vectors("texcoords", m->texcoordcount, m->texcoords, 2);
  snprintf(line, sizeof line, "facetnorms %u\ntriangles %u\n", m->facetnormcount, m->trianglecount);
  out += line;
  for (GLuint i = 0; i < m->trianglecount; i++) {
    const GLMtriangle& t = m->triangles[i];
    out += "  " + std::to_string(i) + ": v " + corners(t.vertexidx) + " t " +
           corners(t.texcoordidx) + " n " + corners(t.normalidx) + " f " +
           std::to_string(t.facetnormidx) + "\n";
  }
  snprintf(line, sizeof line, "materials %u\n", m->materialcount);
  out += line;
  for (GLuint i = 0; m->materials && i < m->materialcount; i++) {
    const GLMmaterial& mat = m->materials[i];
    out += "  " + std::to_string(i) + ": " + name(mat.name);
    const GLfloat* colours[3] = {mat.diffuse, mat.ambient, mat.specular};
    const char* labels[3] = {"Kd", "Ka", "Ks"};
    for (int c = 0; c < 3; c++) {
      snprintf(line, sizeof line, " %s %.9g %.9g %.9g %.9g", labels[c], double(colours[c][0]),
               double(colours[c][1]), double(colours[c][2]), double(colours[c][3]));
      out += line;
    }
    snprintf(line, sizeof line, " Ns %.9g", double(mat.shininess));
    out += line;
    if (mat.diffusemap)
      out += " map_Kd " + name(mat.diffusemapoptions) + " " + name(mat.diffusemap) + " line " +
             std::to_string(mat.diffusemapline);
    if (mat.statements) out += " statements " + name(mat.statements);
    out += "\n";
  }
  snprintf(line, sizeof line, "groups %u\n", m->groupcount);
  out += line;
  for (const GLMgroup* g = m->groups; g; g = g->next) {
    out += "  " + name(g->name) + " material " + std::to_string(g->material) + " triangles";
    for (GLuint i = 0; i < g->trianglecount; i++) out += " " + std::to_string(g->triangles[i]);
    out += "\n";
  }
  return out;
}

// What a call did in a child process: its exit status (-1 when it did not
// exit) and everything it wrote on standard output and standard error.
struct Outcome {
  int status = -1;
  std::string out, err;
};

inline std::string slurp(const char* path) {
  std::string text;
  if (FILE* f = fopen(path, "rb")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
  }
  return text;
}

// Runs fn in a child with both streams redirected to files; a child that
// returns from fn exits with status 0.
inline Outcome runChild(const std::function<void()>& fn) {
  char outPath[] = "/tmp/celshade-out-XXXXXX", errPath[] = "/tmp/celshade-err-XXXXXX";
  int outFd = mkstemp(outPath), errFd = mkstemp(errPath);
  fflush(stdout);
  fflush(stderr);
  Outcome result;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    fn();
    fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  close(outFd);
  close(errFd);
  unlink(outPath);
  unlink(errPath);
  return result;
}

// A fresh directory under /tmp for files a test writes (tests of several
// builds may run at once), removed with its files at the end.
struct TempDir {
  std::string path;
  std::vector<std::string> files;
  TempDir() {
    char name[] = "/tmp/celshade-test-XXXXXX";
    path = mkdtemp(name) ? name : "";
    EXPECT_FALSE(path.empty());
  }
  ~TempDir() {
    for (const std::string& f : files) unlink(f.c_str());
    rmdir(path.c_str());
  }
  // Writes `text` to the file `name` in the directory; returns its path.
  std::string write(const std::string& name, const std::string& text) {
    std::string file = path + "/" + name;
    FILE* f = fopen(file.c_str(), "wb");
    EXPECT_TRUE(f) << file;
    if (f) {
      fwrite(text.data(), 1, text.size(), f);
      fclose(f);
    }
    files.push_back(file);
    return file;
  }
};

inline std::string dataPath(const char* name) {
  return std::string(CELSHADE_TEST_DATA) + "/" + name;
}

}  // namespace reader_test

#endif  // CELSHADE_TESTS_READER_SUPPORT_H
