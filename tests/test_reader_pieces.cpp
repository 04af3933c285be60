// Reading in pieces on several threads: the model, the messages and the
// errors are those of the read by one thread wherever the text is cut, and
// texts that cannot be read in pieces fall back to it.
#include <gtest/gtest.h>

#include <string>

#include "glm_internal.h"
#include "support/model_difference.h"
#include "support/reader_support.h"

namespace {

using reader_test::Libraries;

struct Outcome {
  GLMmodel* model;
  std::string error, printed;
  int libraryLoads;  // as many in pieces as by one thread, more when it fell back
};

struct CountingLibraries {
  Libraries libs;
  int loads = 0;
};

const char* countedLibrary(void* user, const char* name, size_t* length) {
  auto* c = static_cast<CountingLibraries*>(user);
  c->loads++;
  return reader_test::libraryText(&c->libs, name, length);
}

Outcome read(const std::string& obj, const Libraries& libs, unsigned pieces) {
  setReadSplit(pieces, 1);
  CountingLibraries c{libs};
  char error[512] = "";
  testing::internal::CaptureStdout();
  GLMmodel* model =
      glmReadOBJText("dir/t.obj", obj.data(), obj.size(), countedLibrary, &c, error, sizeof error);
  std::string printed = testing::internal::GetCapturedStdout();
  setReadSplit(0, 0);
  return Outcome{model, model ? "" : error, printed, c.loads};
}

// Reads `obj` by one thread and on 2 to 7 threads (a few pieces each); all
// must end alike.
// Returns how many of the reads in pieces kept to their pieces (the
// libraries asked for as often as by one thread).
int expectSameInPieces(const std::string& obj, const Libraries& libs = {}) {
  Outcome one = read(obj, libs, 1);
  int kept = 0;
  for (unsigned pieces = 2; pieces <= 7; pieces++) {
    Outcome many = read(obj, libs, pieces);
    EXPECT_EQ(one.model != nullptr, many.model != nullptr) << pieces << " pieces\n" << obj;
    if (one.model && many.model) {
      EXPECT_EQ(modelDifference(one.model, many.model), "") << pieces << " pieces\n" << obj;
    }
    EXPECT_EQ(one.error, many.error) << pieces << " pieces\n" << obj;
    EXPECT_EQ(one.printed, many.printed) << pieces << " pieces\n" << obj;
    kept += many.libraryLoads == one.libraryLoads;
    if (many.model) glmDelete(many.model);
  }
  if (one.model) glmDelete(one.model);
  return kept;
}

const Libraries kLibrary = {{"dir/m.mtl", "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n"}};

// Groups coming back, materials found and missing, relative and forward
// indices, all spread over enough lines that every cut falls among them.
std::string mixedModel() {
  std::string obj = "mtllib m.mtl\n";
  for (int i = 0; i < 40; i++) {
    obj += "v " + std::to_string(i) + " " + std::to_string(i * 0.5) + " 1e-3\n";
    obj += "vn 0 0 1\nvt 0." + std::to_string(i) + " 1\n";
    if (i % 7 == 3) obj += "g part" + std::to_string(i % 3) + "\n";
    if (i % 5 == 1)
      obj += std::string("usemtl ") + (i % 3 ? "red" : i % 2 ? "blue" : "gone") + "\n";
    if (i >= 3) obj += "f -1/-1/-1 -2/-2/-2 -3/-3/-3 " + std::to_string(i) + "/1/1\n";
    obj += "f 1 2 40\n";
  }
  return obj;
}

TEST(Pieces, GroupsMaterialsAndIndicesAreThoseOfOneThreadWhereverTheTextIsCut) {
  const std::string obj = mixedModel();
  // Read in pieces, not by falling back: the library is asked for as by one thread.
  EXPECT_EQ(expectSameInPieces(obj, kLibrary), 6);
  // Moving every cut by a few bytes.
  for (int shift = 1; shift < 40; shift += 3)
    expectSameInPieces("#" + std::string(size_t(shift), ' ') + "\n" + obj, kLibrary);
}

// A UTF-8 byte-order mark is skipped before the text is cut: the first
// piece starts after it, so its first statement is read there too.
TEST(Pieces, AByteOrderMarkIsSkippedBeforeTheFirstPiece) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(expectSameInPieces(bom + mixedModel(), kLibrary), 6);
  Outcome plain = read(mixedModel(), kLibrary, 1);
  ASSERT_TRUE(plain.model);
  for (unsigned pieces : {1u, 4u}) {
    Outcome marked = read(bom + mixedModel(), kLibrary, pieces);
    ASSERT_TRUE(marked.model) << pieces << " pieces";
    EXPECT_EQ(modelDifference(plain.model, marked.model), "") << pieces << " pieces";
    EXPECT_EQ(plain.libraryLoads, marked.libraryLoads) << pieces << " pieces";
    glmDelete(marked.model);
  }
  glmDelete(plain.model);
  // Error lines count from after the mark, in pieces as by one thread.
  std::string faces;
  for (int i = 0; i < 30; i++) faces += "f 1 2 3\n";
  Outcome bad = read(bom + "v 0 0 0\nv 1 0 0\nv 1 1 0\n" + faces + "f 1 2 9\n", {}, 4);
  EXPECT_EQ(bad.error.rfind("dir/t.obj:34:", 0), 0u) << bad.error;
  expectSameInPieces(bom + "v 0 0 0\nv 1 0 0\nv 1 1 0\n" + faces + "f 1 2 9\n" + faces);
}

TEST(Pieces, TextsAPieceCannotReadAloneFallBackToOneThread) {
  std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  std::string faces;
  for (int i = 0; i < 30; i++) faces += "f 1 2\n3 4\n";  // faces going on over line ends
  EXPECT_LT(expectSameInPieces("mtllib m.mtl\n" + square + faces, kLibrary), 6);
  std::string late;  // a library named late: uses before it find it too
  for (int i = 0; i < 30; i++) late += "usemtl blue\nf 1 2 3\n";
  expectSameInPieces(square + late + "mtllib m.mtl\n" + late, kLibrary);
  std::string comments;  // comments after corners, a usemtl hiding after a face
  for (int i = 0; i < 30; i++) comments += "f 1 2 3 # note\nv 1 2 3 usemtl red\n";
  expectSameInPieces("mtllib m.mtl\n" + square + comments, kLibrary);
  std::string spaced;  // blank lines and indented statements
  for (int i = 0; i < 30; i++) spaced += "\n\n  f 1 2 3\ng a\n\n";
  expectSameInPieces(square + spaced);
}

TEST(Pieces, ErrorsAreThoseOfOneThreadWithTheSameLine) {
  std::string obj = "v 0 0 0\nv 1 0 0\nv 1 1 0\n";
  for (int i = 0; i < 30; i++) obj += "f 1 2 3\n";
  // The earliest fault decides, wherever the pieces holding later ones end.
  expectSameInPieces(obj + "f 1 2 9\n" + obj + "v 1e99 0 0\n" + obj);
  expectSameInPieces(obj + "vx 1\n" + obj + "f 1 2 9\n");
  expectSameInPieces(obj + "mtllib none.mtl\n" + obj + "f -9 1 2\n");
}

}  // namespace
