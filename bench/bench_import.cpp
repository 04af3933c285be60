// bench_import: reading one large model in three formats. A torus of about
// a million triangles with normals and texture coordinates is written as
// OBJ (by glmWriteOBJ), as binary PLY and as binary glTF (by assimp's
// exporter); then importModel reads each (the project's reader for the OBJ,
// assimp and the conversion to a GLMmodel for the others), and assimp reads
// each by itself (its ReadFile with the flags importModel uses, without the
// conversion), the OBJ included for reference.
//
//   bench_import [folder]     default: $TMPDIR/celshade-bench
//
// The files are written anew on every run. Every reader runs three times,
// in turn, on the warm page cache; the best wall time of each is reported.
#include <glm.h>
#include <import.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_folder.h"

namespace {

// Quads around the tube and around the ring: 2 * 708 * 708 = 1,002,528
// triangles on 709 * 709 vertices (a seam of repeated vertices on each
// circle, so that texture coordinates run 0 to 1 without wrapping).
const int kAround = 708, kAlong = 708;
const float kRing = 1.0f, kTube = 0.35f;

struct Torus {
  std::vector<float> positions, normals, texcoords;  // per vertex: 3, 3, 2
  std::vector<unsigned> corners;                     // 0-based, 3 per triangle
};

Torus makeTorus() {
  Torus t;
  const double pi = 3.14159265358979323846;
  for (int j = 0; j <= kAlong; j++) {
    const double phi = 2 * pi * j / kAlong;
    for (int i = 0; i <= kAround; i++) {
      const double theta = 2 * pi * i / kAround;
      const double nx = std::cos(theta) * std::cos(phi), ny = std::cos(theta) * std::sin(phi),
                   nz = std::sin(theta);
      const double r = kRing + kTube * std::cos(theta);
      t.positions.insert(t.positions.end(),
                         {float(r * std::cos(phi)), float(r * std::sin(phi)), float(kTube * nz)});
      t.normals.insert(t.normals.end(), {float(nx), float(ny), float(nz)});
      t.texcoords.insert(t.texcoords.end(), {float(i) / kAround, float(j) / kAlong});
    }
  }
  const unsigned row = kAround + 1;
  for (unsigned j = 0; j < unsigned(kAlong); j++)
    for (unsigned i = 0; i < unsigned(kAround); i++) {
      const unsigned a = j * row + i, b = a + 1, c = a + row + 1, d = a + row;
      t.corners.insert(t.corners.end(), {a, b, c, a, c, d});
    }
  return t;
}

// A 1-based vector array of `items` after a slot 0 of zeros.
GLfloat* vectorArray(const std::vector<float>& items, int size) {
  GLfloat* a = static_cast<GLfloat*>(calloc(items.size() + size, sizeof(GLfloat)));
  memcpy(a + size, items.data(), items.size() * sizeof(GLfloat));
  return a;
}

void writeObj(const Torus& t, const std::string& path) {
  GLMmodel* m = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  m->path = strdup(path.c_str());
  m->vertexcount = m->normalcount = m->texcoordcount = GLuint(t.positions.size() / 3);
  m->vertices = vectorArray(t.positions, 3);
  m->normals = vectorArray(t.normals, 3);
  m->texcoords = vectorArray(t.texcoords, 2);
  m->trianglecount = GLuint(t.corners.size() / 3);
  m->triangles = static_cast<GLMtriangle*>(calloc(m->trianglecount, sizeof(GLMtriangle)));
  GLMgroup* g = glmAddGroup(m, "default");
  g->triangles = static_cast<GLuint*>(malloc(m->trianglecount * sizeof(GLuint)));
  for (GLuint i = 0; i < m->trianglecount; i++) {
    for (int k = 0; k < 3; k++) {
      const GLuint v = t.corners[3 * i + k] + 1;
      m->triangles[i].vertexidx[k] = m->triangles[i].normalidx[k] = m->triangles[i].texcoordidx[k] =
          v;
    }
    g->triangles[g->trianglecount++] = i;
  }
  glmWriteOBJ(m, path.c_str(), GLM_SMOOTH | GLM_TEXTURE);
  glmDelete(m);
}

// The torus as an assimp scene of one mesh under the root node.
aiScene* torusScene(const Torus& t) {
  aiScene* scene = new aiScene();
  scene->mRootNode = new aiNode("torus");
  scene->mRootNode->mNumMeshes = 1;
  scene->mRootNode->mMeshes = new unsigned[1]{0};
  scene->mNumMaterials = 1;
  scene->mMaterials = new aiMaterial* [1] { new aiMaterial() };
  aiString name("grey");
  scene->mMaterials[0]->AddProperty(&name, AI_MATKEY_NAME);
  aiMesh* mesh = new aiMesh();
  scene->mNumMeshes = 1;
  scene->mMeshes = new aiMesh* [1] { mesh };
  mesh->mName = "torus";
  mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
  const unsigned n = unsigned(t.positions.size() / 3);
  mesh->mNumVertices = n;
  mesh->mVertices = new aiVector3D[n];
  mesh->mNormals = new aiVector3D[n];
  mesh->mTextureCoords[0] = new aiVector3D[n];
  mesh->mNumUVComponents[0] = 2;
  for (unsigned i = 0; i < n; i++) {
    mesh->mVertices[i].Set(t.positions[3 * i], t.positions[3 * i + 1], t.positions[3 * i + 2]);
    mesh->mNormals[i].Set(t.normals[3 * i], t.normals[3 * i + 1], t.normals[3 * i + 2]);
    mesh->mTextureCoords[0][i].Set(t.texcoords[2 * i], t.texcoords[2 * i + 1], 0);
  }
  mesh->mNumFaces = unsigned(t.corners.size() / 3);
  mesh->mFaces = new aiFace[mesh->mNumFaces];
  for (unsigned f = 0; f < mesh->mNumFaces; f++) {
    mesh->mFaces[f].mNumIndices = 3;
    mesh->mFaces[f].mIndices =
        new unsigned[3]{t.corners[3 * f], t.corners[3 * f + 1], t.corners[3 * f + 2]};
  }
  return scene;
}

void exportScene(const aiScene* scene, const char* format, const std::string& path) {
  Assimp::Exporter exporter;
  if (exporter.Export(scene, format, path) != AI_SUCCESS) {
    fprintf(stderr, "bench_import: %s: %s\n", path.c_str(), exporter.GetErrorString());
    exit(1);
  }
}

double megabytes(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 ? double(s.st_size) / 1e6 : 0;
}

double seconds(const std::function<void()>& work) {
  auto t0 = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Reader {
  const char* label;
  std::string file;
  bool assimpOnly;  // ReadFile alone, not importModel
  double best = 1e30;
  unsigned triangles = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = benchFolder(argc, argv);
  const std::string obj = dir + "/bench_import.obj", ply = dir + "/bench_import.ply",
                    glb = dir + "/bench_import.glb";

  printf("input: writing the torus as OBJ, binary PLY and binary glTF in %s ...\n", dir.c_str());
  double made = seconds([&] {
    const Torus torus = makeTorus();
    writeObj(torus, obj);
    aiScene* scene = torusScene(torus);
    exportScene(scene, "plyb", ply);
    exportScene(scene, "glb2", glb);
    delete scene;
  });
  printf("input: written in %.1f s\n", made);

  std::vector<Reader> readers = {
      {"OBJ  importModel (celshade's reader)", obj, false},
      {"PLY  importModel (assimp + conversion)", ply, false},
      {"glb  importModel (assimp + conversion)", glb, false},
      {"OBJ  assimp ReadFile alone", obj, true},
      {"PLY  assimp ReadFile alone", ply, true},
      {"glb  assimp ReadFile alone", glb, true},
  };
  for (int run = 1; run <= 3; run++) {
    printf("run %d:", run);
    for (Reader& r : readers) {
      double t = seconds([&] {
        if (r.assimpOnly) {
          Assimp::Importer importer;
          const aiScene* scene = importer.ReadFile(r.file, aiProcess_Triangulate);
          if (!scene) {
            fprintf(stderr, "\nbench_import: %s: %s\n", r.file.c_str(), importer.GetErrorString());
            exit(1);
          }
          r.triangles = 0;
          for (unsigned i = 0; i < scene->mNumMeshes; i++)
            r.triangles += scene->mMeshes[i]->mNumFaces;
        } else {
          std::string error;
          GLMmodel* m = importModel(r.file.c_str(), 0, error);
          if (!m) {
            fprintf(stderr, "\nbench_import: %s\n", error.c_str());
            exit(1);
          }
          r.triangles = m->trianglecount;
          glmDelete(m);
        }
      });
      r.best = std::min(r.best, t);
      printf(" %.2f", t);
      fflush(stdout);
    }
    printf("\n");
  }
  printf("\n%-40s %9s %10s %9s %10s %7s\n", "reader", "MB", "triangles", "best s", "MB/s", "x OBJ");
  for (const Reader& r : readers) {
    const double mb = megabytes(r.file);
    printf("%-40s %9.1f %10u %9.3f %10.1f %7.2f\n", r.label, mb, r.triangles, r.best, mb / r.best,
           r.best / readers[0].best);
  }
  printf("(x OBJ: the reader's best time over that of importModel on the OBJ)\n");
  return 0;
}
