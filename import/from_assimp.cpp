// Reading through assimp: the scene's meshes, placed by its nodes, and its
// materials turned into a GLMmodel (import.h describes the result).
#include "from_assimp.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <stb_image_write.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <stdexcept>
#include <vector>

#include "shown_text.h"

namespace {

// `text` as printable() shows it, without trailing blanks.
std::string shownText(const char* text) {
  std::string out = printable(text);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// malloc that throws std::bad_alloc instead of returning null (room for at
// least one item, so that an empty array is still an allocation).
template <typename T>
T* allocate(size_t count) {
  if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
  void* p = malloc((count ? count : 1) * sizeof(T));
  if (!p) throw std::bad_alloc();
  return static_cast<T*>(p);
}

char* copyText(const std::string& text) {
  char* copy = allocate<char>(text.size() + 1);
  memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// Names as the OBJ reader and writer take them back: control bytes (and,
// for words, blanks) as '_'; an empty name as `fallback`; a name taken
// before with ".2", ".3", ... added.
class Names {
 public:
  explicit Names(bool word) : word_(word) { taken_.insert("default"); }
  std::string unique(const char* name, const std::string& fallback) {
    std::string base = *name ? name : fallback;
    for (char& c : base)
      if ((unsigned char)c < 0x20 || c == 0x7f || (word_ && c == ' ')) c = '_';
    std::string chosen = base;
    for (unsigned n = 2; !taken_.insert(chosen).second; n++)
      chosen = base + "." + std::to_string(n);
    return chosen;
  }

 private:
  bool word_;
  std::set<std::string> taken_;
};

// True when the face is a triangle of the mesh's vertices. Points and lines
// are left out, and so is a face that names a vertex the mesh lacks (which
// no reader should make: assimp checks that only when asked to validate,
// and that check refuses a scene whose meshes are all points).
bool isTriangle(const aiFace& face, const aiMesh& mesh) {
  return face.mNumIndices == 3 && face.mIndices[0] < mesh.mNumVertices &&
         face.mIndices[1] < mesh.mNumVertices && face.mIndices[2] < mesh.mNumVertices;
}

GLuint triangleCount(const aiMesh* mesh) {
  GLuint count = 0;
  for (unsigned i = 0; i < mesh->mNumFaces; i++) count += isTriangle(mesh->mFaces[i], *mesh);
  return count;
}

// One mesh as one node places it: one group of the model.
struct Part {
  const aiMesh* mesh;
  aiMatrix4x4 transform;  // from the mesh's space to the scene's
  const char* nodeName;
  GLuint triangles;
};

// The meshes with triangles, as the node tree places them, depth first.
std::vector<Part> placedParts(const aiScene* scene) {
  std::vector<Part> parts;
  std::vector<std::pair<const aiNode*, aiMatrix4x4>> stack;
  if (scene->mRootNode) stack.emplace_back(scene->mRootNode, aiMatrix4x4());
  while (!stack.empty()) {
    const aiNode* node = stack.back().first;
    const aiMatrix4x4 transform = stack.back().second * node->mTransformation;
    stack.pop_back();
    for (unsigned i = 0; i < node->mNumMeshes; i++) {
      const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
      if (GLuint triangles = triangleCount(mesh))
        parts.push_back({mesh, transform, node->mName.C_Str(), triangles});
    }
    for (unsigned i = node->mNumChildren; i-- > 0;)
      stack.emplace_back(node->mChildren[i], transform);
  }
  return parts;
}

void takeColour(const aiMaterial& from, const char* key, unsigned type, unsigned index,
                GLfloat* colour) {
  aiColor3D c;
  if (from.Get(key, type, index, c) == AI_SUCCESS)
    colour[0] = c.r, colour[1] = c.g, colour[2] = c.b;
}

// The file of an image the scene holds within itself: its bytes as they
// are, or texels stored without a file format encoded as PNG.
EmbeddedImage embeddedImage(const aiTexture& texture, GLuint material) {
  EmbeddedImage image{material, "png", {}};
  if (texture.mHeight == 0) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(texture.pcData);
    image.bytes.assign(bytes, bytes + texture.mWidth);
    std::string hint = texture.achFormatHint;
    for (char& c : hint) c = char(tolower((unsigned char)c));
    if (hint == "jpeg") hint = "jpg";
    bool word = !hint.empty();
    for (char c : hint) word = word && isalnum((unsigned char)c);
    if (word) image.format = hint;
    return image;
  }
  std::vector<unsigned char> rgba;
  rgba.reserve(size_t(texture.mWidth) * texture.mHeight * 4);
  for (size_t i = 0; i < size_t(texture.mWidth) * texture.mHeight; i++) {
    const aiTexel& t = texture.pcData[i];
    rgba.insert(rgba.end(), {t.r, t.g, t.b, t.a});
  }
  auto append = [](void* to, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(to);
    bytes->insert(bytes->end(), static_cast<unsigned char*>(data),
                  static_cast<unsigned char*>(data) + size);
  };
  if (!stbi_write_png_to_func(append, &image.bytes, int(texture.mWidth), int(texture.mHeight), 4,
                              rgba.data(), int(texture.mWidth) * 4))
    throw std::bad_alloc();
  return image;
}

// The material's diffuse texture: a file named from the model file's
// folder becomes its diffuse map, an image the scene holds goes to
// `images`.
void takeDiffuseMap(const aiScene* scene, const aiMaterial& from, const char* file, GLuint index,
                    GLMmaterial& m, std::vector<EmbeddedImage>* images) {
  aiString path;
  if (from.GetTexture(aiTextureType_DIFFUSE, 0, &path) != AI_SUCCESS || path.length == 0) return;
  if (const aiTexture* texture = scene->GetEmbeddedTexture(path.C_Str())) {
    if (images) images->push_back(embeddedImage(*texture, index));
    return;
  }
  std::string name = path.C_Str();
  for (char& c : name)
    if (c == '\\') c = '/';
  while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
  if (name[0] != '/') {
    const char* slash = strrchr(file, '/');
    name.insert(0, file, slash ? size_t(slash - file + 1) : 0);
  }
  m.diffusemap = copyText(name);
}

// Whether `from`, named `name`, is assimp's stand-in for a file without
// materials (an STL or PLY file): its default name or none, with white
// diffuse and white specular colours. Such a material keeps the library's
// colours, so the model looks as an OBJ file without a library does instead
// of glaring white.
bool isStandIn(const aiMaterial& from, const aiString& name) {
  if (name.length && strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) != 0) return false;
  const aiColor3D white(1.0f, 1.0f, 1.0f);
  aiColor3D diffuse, specular;
  return from.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS &&
         from.Get(AI_MATKEY_COLOR_SPECULAR, specular) == AI_SUCCESS && diffuse == white &&
         specular == white;
}

// "default", then the scene's materials; none when the scene has none.
void takeMaterials(const aiScene* scene, const char* file, GLMmodel* model,
                   std::vector<EmbeddedImage>* images) {
  if (!scene->mNumMaterials) return;
  const GLuint count = scene->mNumMaterials + 1;
  model->materials = allocate<GLMmaterial>(count);
  Names names(true);
  for (GLuint i = 0; i < count; i++) {
    GLMmaterial& m = model->materials[i];
    m = glmDefaultMaterial();  // as the library starts a material an MTL file names
    if (i == 0) {
      m.name = copyText("default");
      model->materialcount = 1;
      continue;
    }
    const aiMaterial& from = *scene->mMaterials[i - 1];
    aiString name;
    if (from.Get(AI_MATKEY_NAME, name) != AI_SUCCESS) name.Clear();
    m.name = copyText(names.unique(name.C_Str(), "material" + std::to_string(i)));
    model->materialcount = i + 1;  // glmDelete frees the names set so far
    const bool standIn = isStandIn(from, name);
    if (!standIn) {
      takeColour(from, AI_MATKEY_COLOR_DIFFUSE, m.diffuse);
      takeColour(from, AI_MATKEY_COLOR_AMBIENT, m.ambient);
      takeColour(from, AI_MATKEY_COLOR_SPECULAR, m.specular);
    }
    float shininess;
    if (!standIn && from.Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS) {
      // From the MTL scale 0..1000 to OpenGL's 0..128, each step rounded
      // to float, as the MTL reader converts Ns.
      shininess = shininess / 1000.0f;
      m.shininess = shininess * 128.0f;
    }
    takeDiffuseMap(scene, from, file, i, m, images);
  }
}

// The matrix that turns normals as `m` turns points: the inverse transpose
// of its 3 x 3 part, up to a positive factor (the cofactors, their sign
// turned with the determinant's), so that a singular matrix gives one too.
aiMatrix3x3 normalMatrix(const aiMatrix4x4& m) {
  const aiMatrix3x3 a(m);
  aiMatrix3x3 c;
  c.a1 = a.b2 * a.c3 - a.b3 * a.c2, c.a2 = a.b3 * a.c1 - a.b1 * a.c3,
  c.a3 = a.b1 * a.c2 - a.b2 * a.c1;
  c.b1 = a.a3 * a.c2 - a.a2 * a.c3, c.b2 = a.a1 * a.c3 - a.a3 * a.c1,
  c.b3 = a.a2 * a.c1 - a.a1 * a.c2;
  c.c1 = a.a2 * a.b3 - a.a3 * a.b2, c.c2 = a.a3 * a.b1 - a.a1 * a.b3,
  c.c3 = a.a1 * a.b2 - a.a2 * a.b1;
  if (a.Determinant() < 0)
    for (unsigned row = 0; row < 3; row++)
      for (unsigned column = 0; column < 3; column++) c[row][column] = -c[row][column];
  return c;
}

void store(GLfloat* to, const aiVector3D& v) { to[0] = v.x, to[1] = v.y, to[2] = v.z; }

// Unit length; the zero vector stays zero.
aiVector3D unit(const aiVector3D& v) {
  const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
  return length > 0 ? aiVector3D(float(v.x / length), float(v.y / length), float(v.z / length)) : v;
}

// Room for a 1-based vector array of `count` items of `size` floats, slot 0
// zero.
GLfloat* vectorArray(uint64_t count, int size) {
  GLfloat* a = allocate<GLfloat>((count + 1) * size);
  for (int c = 0; c < size; c++) a[c] = 0;
  return a;
}

// Fills the model's vectors, triangles and groups from the placed meshes.
// Normals come along only when every mesh has them (the model is then given
// normals as a bare one is), texture coordinates when any mesh has them, the
// corners of the others sharing one (0, 0) after them: every corner names a
// normal when any does, and a texture coordinate when any does, so that the
// model writes as an OBJ file the reader takes back.
void takeParts(const std::vector<Part>& parts, GLuint materialcount, GLMmodel* model) {
  uint64_t vertices = 0, texcoords = 0, triangles = 0;
  bool normals = true, shareTexcoord = false;
  for (const Part& part : parts) {
    vertices += part.mesh->mNumVertices;
    triangles += part.triangles;
    normals &= part.mesh->HasNormals();
    if (part.mesh->HasTextureCoords(0))
      texcoords += part.mesh->mNumVertices;
    else
      shareTexcoord = true;
  }
  shareTexcoord &= texcoords > 0;
  const uint64_t sharedTexcoord = texcoords + 1;
  if (vertices >= UINT32_MAX || sharedTexcoord >= UINT32_MAX || triangles >= UINT32_MAX)
    throw std::length_error("too many vertices");
  model->vertices = vectorArray(vertices, 3);
  if (normals) model->normals = vectorArray(vertices, 3);
  if (texcoords) model->texcoords = vectorArray(texcoords + shareTexcoord, 2);
  model->triangles = allocate<GLMtriangle>(triangles);

  glmAddGroup(model, "default");
  Names names(false);
  for (const Part& part : parts) {
    const aiMesh& mesh = *part.mesh;
    const GLuint vertexBase = model->vertexcount;
    for (unsigned i = 0; i < mesh.mNumVertices; i++)
      store(&model->vertices[3 * (size_t(vertexBase) + i + 1)], part.transform * mesh.mVertices[i]);
    model->vertexcount += mesh.mNumVertices;
    if (normals) {
      const aiMatrix3x3 turn = normalMatrix(part.transform);
      for (unsigned i = 0; i < mesh.mNumVertices; i++)
        store(&model->normals[3 * (size_t(vertexBase) + i + 1)], unit(turn * mesh.mNormals[i]));
      model->normalcount += mesh.mNumVertices;
    }
    const GLuint texcoordBase = model->texcoordcount;
    const bool ownTexcoords = mesh.HasTextureCoords(0);
    if (ownTexcoords) {
      for (unsigned i = 0; i < mesh.mNumVertices; i++) {
        GLfloat* t = &model->texcoords[2 * (size_t(texcoordBase) + i + 1)];
        t[0] = mesh.mTextureCoords[0][i].x, t[1] = mesh.mTextureCoords[0][i].y;
      }
      model->texcoordcount += mesh.mNumVertices;
    }

    const char* fallback = *part.nodeName ? part.nodeName : "mesh";
    GLMgroup* group = glmAddGroup(model, names.unique(mesh.mName.C_Str(), fallback).c_str());
    group->triangles = allocate<GLuint>(part.triangles);
    group->material = mesh.mMaterialIndex + 1 < materialcount ? mesh.mMaterialIndex + 1 : 0;
    // A mirroring transform turns the corners clockwise: take them in the
    // other order.
    const bool mirrored = aiMatrix3x3(part.transform).Determinant() < 0;
    for (unsigned f = 0; f < mesh.mNumFaces; f++) {
      const aiFace& face = mesh.mFaces[f];
      if (!isTriangle(face, mesh)) continue;
      GLMtriangle& t = model->triangles[model->trianglecount];
      for (int k = 0; k < 3; k++) {
        const GLuint index = face.mIndices[mirrored ? (3 - k) % 3 : k] + 1;
        t.vertexidx[k] = vertexBase + index;
        t.normalidx[k] = normals ? vertexBase + index : 0;
        t.texcoordidx[k] = ownTexcoords    ? texcoordBase + index
                           : shareTexcoord ? GLuint(sharedTexcoord)
                                           : 0;
      }
      t.facetnormidx = 0;
      group->triangles[group->trianglecount++] = model->trianglecount++;
    }
  }
  if (shareTexcoord) {
    model->texcoords[2 * sharedTexcoord] = model->texcoords[2 * sharedTexcoord + 1] = 0;
    model->texcoordcount++;
  }
}

}  // namespace

GLMmodel* readWithAssimp(const char* file, std::string& error, std::vector<EmbeddedImage>* images) {
  Assimp::Importer importer;
  // Only triangulated: the conversion leaves points and lines out itself.
  // (Sorting meshes by primitive type would also drop the vertices only
  // points and lines use, but it refuses a mesh without faces, such as an
  // STL file's without facets, which is a file with no faces to draw.)
  const aiScene* scene = importer.ReadFile(file, aiProcess_Triangulate);
  const std::string shown = shownText(file);
  if (!scene) {
    error = shown + ": " + shownText(importer.GetErrorString());
    return nullptr;
  }
  GLMmodel* model = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  if (!model) {
    error = std::string(file) + ": out of memory";
    return nullptr;
  }
  try {
    model->path = copyText(file);
    const std::vector<Part> parts = placedParts(scene);
    if (parts.empty()) {
      error = std::string(file) + ": no faces to draw";
      glmDelete(model);
      return nullptr;
    }
    takeMaterials(scene, file, model, images);
    takeParts(parts, model->materialcount, model);
  } catch (const std::length_error&) {
    error = std::string(file) + ": more than 4294967294 vertices or triangles";
    glmDelete(model);
    return nullptr;
  } catch (const std::bad_alloc&) {
    error = std::string(file) + ": out of memory";
    glmDelete(model);
    return nullptr;
  }
  return model;
}
