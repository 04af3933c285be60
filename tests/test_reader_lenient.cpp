// Reading files as other tools write them (GLM_READ_LENIENT): keywords
// matched whole, mtllib lists, indices naming what the file lacks dropped,
// lone carriage returns ending lines; by one thread and in pieces alike.
#include "glm_internal.h"
#include "support/message_collector.h"
#include "support/model_difference.h"
#include "support/reader_support.h"

#include <string>
#include <vector>

using namespace reader_test;

namespace {

const GLuint kLenient = GLM_READ_LENIENT | GLM_READ_OPTIONAL_LIBRARIES;

// Reads `obj` as dir/test.obj with `flags`, collecting the warnings and
// counting the calls for libraries (a read in pieces that falls back to one
// thread makes more).
struct LenientRead {
  Model model;
  std::string error;
  std::vector<std::string> warnings;
  int libraryCalls;
};

struct CountedLibraries {
  Libraries libs;
  int calls = 0;
  static const char* text(void* user, const char* name, size_t* length) {
    auto* c = static_cast<CountedLibraries*>(user);
    c->calls++;
    return libraryText(&c->libs, name, length);
  }
};

LenientRead readWith(const std::string& obj, Libraries libs = {}, GLuint flags = kLenient) {
  Collector collected;
  CountedLibraries counted{std::move(libs)};
  char error[512] = "(untouched)";
  GLMmodel* m = glmReadOBJTextWith("dir/test.obj", obj.data(), obj.size(), CountedLibraries::text,
                                   &counted, flags, error, sizeof error);
  return LenientRead{Model(m), m ? std::string() : std::string(error), collected.messages,
                     counted.calls};
}

const char* const kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

TEST(LenientKeywords, OtherObjStatementsAreSkippedWithOneCountPerKeyword) {
  const std::string obj = std::string("# exported\no thing\n") + kTriangle +
                          "vw 1 0.5\nvp 0.5\nvw 2 0.5\ncstype bspline\nmaplib tex.map\n"
                          "mtllib m.mtl\nusemap tex\nusemtl red\ns 1\nl 1 2\np 3\nfo 1 2 3\n"
                          "gx name\nf 1 2 3\n";
  LenientRead r = readWith(obj, {{"dir/m.mtl", "newmtl red\n"}});
  ASSERT_TRUE(r.model) << r.error;
  // maplib is no library, usemap no material use, fo no face, gx no group.
  EXPECT_EQ(groupList(r.model.get()), "[default] m1: 0\n");
  EXPECT_STREQ(r.model->mtllib, "m.mtl");
  EXPECT_EQ(r.warnings, (std::vector<std::string>{"dir/test.obj: 2 \"vw\" statements skipped",
                                                  "dir/test.obj: 1 \"vp\" statement skipped",
                                                  "dir/test.obj: 1 \"cstype\" statement skipped",
                                                  "dir/test.obj: 1 \"maplib\" statement skipped",
                                                  "dir/test.obj: 1 \"usemap\" statement skipped",
                                                  "dir/test.obj: 1 \"fo\" statement skipped",
                                                  "dir/test.obj: 1 \"gx\" statement skipped"}));
  // The classic rules refuse the same text.
  EXPECT_EQ(readWith(obj, {{"dir/m.mtl", "newmtl red\n"}}, 0).error,
            "dir/test.obj:6: unknown token \"vw\"");
}

TEST(LenientKeywords, WhatFollowsCoordinatesAndCornersOnTheirLineIsTheirs) {
  LenientRead r = readWith(
      "v 0 0 0 1 0 0\nv 1 0 0 0.5 0.5 0.5 # red\nv 0 1 0 junk\nvn 0 0 1 1\nvt 0.5 1 x\n"
      "f 1//1 2//1 3//1 # one\nf 1 2\n3\n");
  ASSERT_TRUE(r.model) << r.error;
  EXPECT_EQ(r.warnings, std::vector<std::string>{});
  EXPECT_EQ(r.model->vertexcount, 3u);
  EXPECT_EQ(vertex(r.model.get(), 2)[0], 1.0f);
  EXPECT_EQ(vertex(r.model.get(), 3)[1], 1.0f);
  EXPECT_EQ(texcoord(r.model.get(), 1)[1], 1.0f);
  // A face still reads its corners over a line end, as by the classic rules.
  EXPECT_EQ(vertexCorners(r.model.get()), "1 2 3 | 1 2 3");
}

TEST(LenientKeywords, MtlKeywordsAreMatchedWholeAndOthersNeverMakeMaterials) {
  const Libraries pbr = {{"dir/pbr.mtl",
                          "Kd 0.1 0.1 0.1\nnewmtl metal\nKd 0.5 0.5 0.5\nNs 200\nNi 1.45\n"
                          "norm -bm 3 normal.jpg\nPr 0.3\nPm 1\nPs 0.1\nPc 0.2\naniso 0.1\n"
                          "map_Pr rough.png\nKs 0.1 0.2 0.3\nKdx 1 1 1\nNsx 999\nKe 1 1 1\n"}};
  const std::string obj = std::string(kTriangle) + "mtllib pbr.mtl\nusemtl metal\nf 1 2 3\n";
  LenientRead r = readWith(obj, pbr);
  ASSERT_TRUE(r.model) << r.error;
  EXPECT_EQ(r.warnings, std::vector<std::string>{});
  ASSERT_EQ(r.model->materialcount, 2u);
  const GLMmaterial& metal = r.model->materials[1];
  EXPECT_STREQ(metal.name, "metal");
  EXPECT_FLOAT_EQ(metal.shininess, 25.6f);  // Ns 200, neither Ni nor Nsx
  EXPECT_EQ(metal.diffuse[0], 0.5f);        // not Kdx
  EXPECT_EQ(metal.specular[2], 0.3f);
  EXPECT_EQ(r.model->materials[0].diffuse[0], 0.1f);
  // What is not modelled is kept as it is, in order.
  EXPECT_STREQ(metal.statements,
               "Ni 1.45\nnorm -bm 3 normal.jpg\nPr 0.3\nPm 1\nPs 0.1\nPc 0.2\naniso 0.1\n"
               "map_Pr rough.png\nKdx 1 1 1\nNsx 999\nKe 1 1 1\n");
  // By the first letters, norm defines a material "-bm".
  EXPECT_EQ(readWith(obj, pbr, GLM_READ_OPTIONAL_LIBRARIES).model->materialcount, 3u);
}

TEST(LenientLibraries, EveryNameIsReadInOrderAndTheFirstDefinitionOfANameWins) {
  const Libraries libs = {
      {"dir/a.mtl", "Kd 0.3 0.3 0.3\nnewmtl red\nKd 1 0 0\nnewmtl shared\nKd 0 1 0\n"},
      {"dir/b.mtl", "Kd 0.9 0.9 0.9\nnewmtl blue\nKd 0 0 1\nnewmtl shared\nKd 1 1 1\n"},
      {"dir/c.mtl", "newmtl last\n"}};
  LenientRead r = readWith(std::string(kTriangle) +
                               "usemtl last\nmtllib a.mtl b.mtl\ng one\nusemtl shared\nf 1 2 3\n"
                               "mtllib c.mtl a.mtl\ng two\nusemtl blue\nf 1 2 3\n",
                           libs);
  ASSERT_TRUE(r.model) << r.error;
  EXPECT_EQ(r.warnings, std::vector<std::string>{});
  std::vector<std::string> names;
  for (GLuint i = 0; i < r.model->materialcount; i++) names.push_back(r.model->materials[i].name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"default", "red", "shared", "blue", "shared", "last"}));
  EXPECT_EQ(r.model->materials[0].diffuse[0], 0.3f);  // the first library's material 0
  EXPECT_EQ(groupList(r.model.get()), "[ two] m3: 1\n[ one] m2: 0\n[default] m5:\n");
  EXPECT_STREQ(r.model->mtllib, "a.mtl");
}

TEST(LenientLibraries, NamesWithBlanksAreReadEscapedOrAsTheWholeLine) {
  const Libraries libs = {{"dir/my file.mtl", "newmtl red\n"}, {"dir/b.mtl", "newmtl blue\n"}};
  LenientRead escaped = readWith("mtllib my\\ file.mtl b.mtl \n", libs);
  ASSERT_TRUE(escaped.model) << escaped.error;
  EXPECT_EQ(escaped.model->materialcount, 3u);
  EXPECT_STREQ(escaped.model->mtllib, "my file.mtl");
  EXPECT_EQ(escaped.warnings, std::vector<std::string>{});

  LenientRead plain = readWith("mtllib  my file.mtl \t\n", libs);
  ASSERT_TRUE(plain.model) << plain.error;
  EXPECT_EQ(plain.model->materialcount, 2u);
  EXPECT_STREQ(plain.model->mtllib, "my file.mtl");
  EXPECT_EQ(plain.warnings, std::vector<std::string>{});

  // The same from a file on disk, as Blender writes it.
  TempDir dir;
  dir.write("my model.mtl", "newmtl green\nKd 0 1 0\n");
  std::string obj = dir.write(
      "my model.obj", std::string(kTriangle) + "mtllib my model.mtl\nusemtl green\nf 1 2 3\n");
  Collector warnings;
  char error[512] = "";
  Model m(glmTryReadOBJWith(obj.c_str(), GLM_READ_LENIENT, error, sizeof error));
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->groups->material, 1u);
  EXPECT_EQ(warnings.messages, std::vector<std::string>{});
}

TEST(LenientLibraries, EachNameThatCannotBeOpenedWarnsOrTheFirstIsTheError) {
  const Libraries libs = {{"dir/a.mtl", "newmtl red\n"}};
  LenientRead some = readWith("v 0 0 0\nmtllib gone.mtl a.mtl lost.mtl\n", libs);
  ASSERT_TRUE(some.model) << some.error;
  EXPECT_EQ(some.model->materialcount, 2u);
  EXPECT_STREQ(some.model->mtllib, "gone.mtl");
  EXPECT_EQ(
      some.warnings,
      (std::vector<std::string>{
          "dir/test.obj:2: can't open material library \"gone.mtl\" (No such file or directory)",
          "dir/test.obj:2: can't open material library \"lost.mtl\" (No such file or directory)"}));
  // No word and not the whole line: the words are what is missing.
  LenientRead none = readWith("mtllib x.mtl y\\ z.mtl\n", libs);
  ASSERT_TRUE(none.model) << none.error;
  EXPECT_EQ(
      none.warnings,
      (std::vector<std::string>{
          "dir/test.obj:1: can't open material library \"x.mtl\" (No such file or directory)",
          "dir/test.obj:1: can't open material library \"y z.mtl\" (No such file or directory)"}));
  EXPECT_EQ(readWith("mtllib a.mtl gone.mtl\n", libs, GLM_READ_LENIENT).error,
            "dir/gone.mtl: can't open material file");
}

TEST(LenientIndices, NormalsAndTextureCoordinatesAFileLacksAreDroppedWithOneWarningEach) {
  LenientRead r =
      readWith(std::string(kTriangle) +
               "v 1 1 0\nf 1//1 2//2 3//3\nf 1/1/1 2/2/2 3/3/3 4/4/4\nf -4//-1 2//2 3//3\n");
  ASSERT_TRUE(r.model) << r.error;
  EXPECT_EQ(r.model->normals, nullptr);
  EXPECT_EQ(r.model->texcoords, nullptr);
  ASSERT_EQ(r.model->trianglecount, 4u);
  for (GLuint i = 0; i < 4; i++) {
    EXPECT_EQ(corners(r.model->triangles[i].normalidx), "0 0 0");
    EXPECT_EQ(corners(r.model->triangles[i].texcoordidx), "0 0 0");
  }
  EXPECT_EQ(vertexCorners(r.model.get()), "1 2 3 | 1 2 3 | 1 3 4 | 1 2 3");
  EXPECT_EQ(r.warnings,
            (std::vector<std::string>{
                "dir/test.obj:6: faces name texture coordinates, but the file has none: those "
                "indices are dropped",
                "dir/test.obj:5: faces name normals, but the file has none: those indices are "
                "dropped"}));
}

TEST(LenientIndices, IndicesPastElementsTheFileHasAreStillErrors) {
  EXPECT_EQ(readWith(std::string(kTriangle) + "vn 0 0 1\nf 1//1 2//2 3//1\n").error,
            "dir/test.obj:5: face index out of range: `f 1//1 2//2 3//1`");
  EXPECT_EQ(readWith(std::string(kTriangle) + "f 1//1 2//1 4//1\n").error,
            "dir/test.obj:4: face index out of range: `f 1//1 2//1 4//1`");
  EXPECT_EQ(readWith(std::string(kTriangle) + "f 1//1 2//1 3//1\n", {}, 0).error,
            "dir/test.obj:4: face index out of range: `f 1//1 2//1 3//1`");
}

TEST(LenientLines, ALoneCarriageReturnEndsALineInObjAndMtlText) {
  const Libraries libs = {{"dir/m.mtl", "# mac\rnewmtl red\rKd 1 0 0\rnewmtl blue\rKd 0 0 1\r"}};
  LenientRead r = readWith(
      "# classic Mac\rmtllib m.mtl\rg part\rv 0 0 0\rv 1 0 0\rv 0 1 0\rvw 1 1\rusemtl blue\r"
      "f 1 2 3\rg crlf\r\nf 3 2 1\r",
      libs);
  ASSERT_TRUE(r.model) << r.error;
  EXPECT_EQ(r.model->vertexcount, 3u);
  EXPECT_EQ(groupList(r.model.get()), "[ crlf] m2: 1\n[ part] m2: 0\n[default] m0:\n");
  ASSERT_EQ(r.model->materialcount, 3u);
  EXPECT_EQ(r.model->materials[2].diffuse[2], 1.0f);
  EXPECT_EQ(r.warnings, std::vector<std::string>{"dir/test.obj: 1 \"vw\" statement skipped"});
}

// Many lines of every rule above, so that pieces are cut among them.
std::string manyLenientLines() {
  std::string obj = "mtllib a.mtl gone.mtl\r";
  for (int i = 0; i < 60; i++) {
    obj += "v " + std::to_string(i) + " 0 " + std::to_string(i % 7) + " 0.5 0.5 0.5\n";
    obj += i % 9 == 4 ? "vw 1 0.5\n" : "vt 0.25 0.5\n";
    if (i % 11 == 5) obj += "g part" + std::to_string(i % 2) + "\r\n";
    if (i % 13 == 7) obj += "usemtl red\ncurv 0 1 1 2\n";
    if (i >= 2) obj += "f -1/-1/-1 -2/-2/-2 -3/-3/-3\n";
  }
  return obj;
}

TEST(LenientPieces, ReadInPiecesTheModelAndWarningsAreThoseOfOneThread) {
  const std::string obj = manyLenientLines();
  const Libraries libs = {{"dir/a.mtl", "newmtl red\nKd 1 0 0\n"}};
  setReadSplit(1, 0);
  LenientRead one = readWith(obj, libs);
  ASSERT_TRUE(one.model) << one.error;
  EXPECT_EQ(one.warnings.size(), 4u);  // gone.mtl, vw, curv, the normals
  for (unsigned pieces = 2; pieces <= 6; pieces++) {
    setReadSplit(pieces, 1);
    LenientRead many = readWith(obj, libs);
    ASSERT_TRUE(many.model) << many.error;
    EXPECT_EQ(modelDifference(one.model.get(), many.model.get()), "") << pieces << " pieces";
    EXPECT_EQ(many.warnings, one.warnings) << pieces << " pieces";
    EXPECT_EQ(many.libraryCalls, one.libraryCalls) << pieces << " pieces: read again by one thread";
  }
  setReadSplit(0, 0);
}

TEST(LenientPieces, UnknownStatementsLeaveTheCountByLinesRight) {
  // A lenient file of newline-ended lines is counted by lines, not again
  // statement by statement.
  std::string obj = std::string(kTriangle) +
                    "vw 1 1\nvp 0.5\nvnx 1\nfo 1\ngroup x\nmtllibx a\n"
                    "usemtlx b\nf 1 2 3 1 2\n";
  Collector quiet;
  char error[256] = "";
  Model m(readObjTextCounting("dir/test.obj", obj.data(), obj.size(), nullptr, nullptr, error,
                              sizeof error, GLM_COUNT_LINES_ONLY, kLenient));
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->trianglecount, 3u);
}

}  // namespace
