// Material libraries: counting, defaults, colours, the shininess scale and
// which statements change which material.
#include "support/reader_support.h"

#include <string>
#include <vector>

using namespace reader_test;

namespace {

// Reads a model whose only statement names the library `mtl`.
Model withLibrary(const std::string& mtl) { return mustRead("mtllib m.mtl\n", {{"m.mtl", mtl}}); }

void expectColour(const GLfloat* c, float r, float g, float b) {
  EXPECT_EQ(c[0], r);
  EXPECT_EQ(c[1], g);
  EXPECT_EQ(c[2], b);
  EXPECT_EQ(c[3], 1.0f);
}

TEST(Mtl, ThreeDefinitionsGiveFourMaterialsWithDefaults) {
  Model m = withLibrary("newmtl a\nnewmtl b\nnewmtl c\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 4u);
  const char* names[] = {"default", "a", "b", "c"};
  for (GLuint i = 0; i < 4; i++) {
    const GLMmaterial& mat = m->materials[i];
    EXPECT_STREQ(mat.name, names[i]);
    expectColour(mat.diffuse, 0.8f, 0.8f, 0.8f);
    expectColour(mat.ambient, 0.2f, 0.2f, 0.2f);
    expectColour(mat.specular, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(mat.shininess, 65.0f);
  }
}

TEST(Mtl, ColoursGoToTheCurrentMaterialAndStatementsBeforeTheFirstToDefault) {
  Model m = withLibrary(
      "# comment\nKd 0.1 0.2 0.3\n"
      "newmtl shiny\nKa 0.5 0.5 0.5\nKd 1 0 0\nKs 0.25 0.5 0.75\nKe 9 9 9\nillum 2\nd 0.5\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 2u);
  expectColour(m->materials[0].diffuse, 0.1f, 0.2f, 0.3f);
  expectColour(m->materials[1].ambient, 0.5f, 0.5f, 0.5f);
  expectColour(m->materials[1].diffuse, 1.0f, 0.0f, 0.0f);
  expectColour(m->materials[1].specular, 0.25f, 0.5f, 0.75f);
}

TEST(Mtl, ShininessIsRescaledFromThousandToOneHundredTwentyEight) {
  Model m = withLibrary("newmtl a\nNs 500\nnewmtl b\nNs 1000\nnewmtl c\nnewmtl d\nNs 96\nNi 1.5\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->materials[1].shininess, 64.0f);
  EXPECT_EQ(m->materials[2].shininess, 128.0f);
  EXPECT_EQ(m->materials[3].shininess, 65.0f);
  // Ni, the optical density, leaves the shininess of Ns alone: 96 / 1000 * 128.
  float expected = 96.0f / 1000.0f;
  expected *= 128.0f;
  EXPECT_EQ(m->materials[4].shininess, expected);
  EXPECT_STREQ(m->materials[4].statements, "Ni 1.5\n");
}

TEST(Mtl, ShininessIsNotClamped) {
  Model m = withLibrary("newmtl a\nNs 2000\nnewmtl b\nNs -10\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->materials[1].shininess, 256.0f);
  EXPECT_EQ(m->materials[2].shininess, -1.28f);
}

TEST(Mtl, AnNStatementWithoutItsNumberRescalesTheCurrentValue) {
  Model m = withLibrary("newmtl a\nNs\nnewmtl b\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 3u);
  float expected = 65.0f / 1000.0f;
  expected *= 128.0f;
  EXPECT_EQ(m->materials[1].shininess, expected);
  EXPECT_STREQ(m->materials[2].name, "b");
}

TEST(Mtl, AFourthColourNumberIsSkippedAndAlphaStaysOne) {
  Model m = withLibrary("newmtl a\nKd 0.1 0.2 0.3 0.4\nKa 0.5 0.5 0.5\n");
  ASSERT_TRUE(m);
  expectColour(m->materials[1].diffuse, 0.1f, 0.2f, 0.3f);
  expectColour(m->materials[1].ambient, 0.5f, 0.5f, 0.5f);
}

TEST(Mtl, MissingColourNumbersLeaveTheDefaults) {
  Model m = withLibrary("newmtl a\nKd 0.5\nnewmtl b\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 3u);
  expectColour(m->materials[1].diffuse, 0.5f, 0.8f, 0.8f);
}

// glmDefaultMaterial is what a material without colour statements is, and
// what its contract says: programs that make materials of their own start
// from it.
TEST(Mtl, AMaterialWithoutColoursIsTheDefaultMaterial) {
  Model m = withLibrary("newmtl plain\n");
  ASSERT_TRUE(m);
  const GLMmaterial start = glmDefaultMaterial(), &plain = m->materials[1];
  for (int c = 0; c < 4; c++) {
    EXPECT_EQ(plain.diffuse[c], start.diffuse[c]);
    EXPECT_EQ(plain.ambient[c], start.ambient[c]);
    EXPECT_EQ(plain.specular[c], start.specular[c]);
  }
  EXPECT_EQ(plain.shininess, start.shininess);
  expectColour(start.diffuse, 0.8f, 0.8f, 0.8f);
  expectColour(start.ambient, 0.2f, 0.2f, 0.2f);
  expectColour(start.specular, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(start.diffuse[3], 1.0f);
  EXPECT_EQ(start.shininess, 65.0f);
  EXPECT_EQ(start.name, nullptr);
  EXPECT_EQ(start.diffusemap, nullptr);
  EXPECT_EQ(start.statements, nullptr);
  EXPECT_EQ(start.library, nullptr);
  EXPECT_EQ(start.diffusemapline, 0u);
}

TEST(Mtl, DuplicateNamesMakeTwoMaterialsAndUsesFindTheFirst) {
  Model m = mustRead("mtllib m.mtl\nusemtl twin\n", {{"m.mtl", "newmtl twin\nnewmtl twin\n"}});
  ASSERT_TRUE(m);
  EXPECT_EQ(m->materialcount, 3u);
  EXPECT_EQ(m->groups->material, 1u);
}

// Every material use finds what the linear glmFindMaterial finds (the first
// of duplicates, exact case), and unknown names are reported in file order.
TEST(Mtl, MaterialUsesFindTheFirstExactNameAmongMany) {
  std::string mtl, obj = "mtllib m.mtl\n", expectedOut;
  std::vector<std::string> uses;
  for (int i = 0; i < 300; i++) mtl += "newmtl m" + std::to_string(i % 200) + "\n";
  mtl += "newmtl Red\nnewmtl default\n";
  for (int i = 0; i < 400; i++) {
    std::string name = i % 7 == 0    ? "x" + std::to_string(i)  // unknown
                       : i % 5 == 0  ? "m" + std::to_string(i % 250)
                       : i % 11 == 0 ? (i % 2 ? "red" : "default")
                                     : "m" + std::to_string((i * 37) % 200);
    uses.push_back(name);
    obj += "g use" + std::to_string(i) + "\nusemtl " + name + "\n";
  }
  testing::internal::CaptureStdout();
  Model m = mustRead(obj, {{"m.mtl", mtl}});
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(m);
  testing::internal::CaptureStdout();
  std::vector<GLuint> expected;
  for (const std::string& name : uses) expected.push_back(glmFindMaterial(m.get(), name.c_str()));
  EXPECT_EQ(out, testing::internal::GetCapturedStdout());
  EXPECT_NE(out.find("\"x0\"."), std::string::npos);
  // Groups come newest first: use i is the group at position 399 - i.
  std::vector<GLuint> got;
  for (const GLMgroup* g = m->groups; g->next; g = g->next) got.insert(got.begin(), g->material);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(expected[5], 6u);   // m5, the first of two
  EXPECT_EQ(expected[11], 0u);  // "red" is not "Red"
  EXPECT_EQ(expected[22], 0u);  // "default" is material 0, not the later one
}

// A library named again by a later statement: the same text gives the
// same materials without being read again; another text under the same
// name is read.
TEST(Mtl, ALibraryNamedAgainGivesItsMaterials) {
  const std::string a = "newmtl a\nKd 1 0 0\n", b = "newmtl b1\nnewmtl b2\n";
  Model m = mustRead("usemtl a\nmtllib a.mtl\nmtllib b.mtl\nmtllib a.mtl\n",
                     {{"a.mtl", a}, {"b.mtl", b}});
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->mtllib, "a.mtl");
  ASSERT_EQ(m->materialcount, 2u);
  EXPECT_STREQ(m->materials[1].name, "a");
  EXPECT_EQ(m->materials[1].diffuse[0], 1.0f);
  EXPECT_EQ(m->groups->material, 1u);

  // A source that serves a new text each time it is asked.
  struct Changing {
    int calls = 0;
    std::string texts[2] = {"newmtl first\n", "newmtl second\nnewmtl third\n"};
  } changing;
  auto serve = [](void* user, const char*, size_t* length) -> const char* {
    Changing* c = static_cast<Changing*>(user);
    const std::string& text = c->texts[c->calls++ % 2];
    *length = text.size();
    return text.data();
  };
  const std::string obj = "mtllib m.mtl\nmtllib m.mtl\n";
  char error[128];
  Model again(
      glmReadOBJText("x.obj", obj.data(), obj.size(), serve, &changing, error, sizeof error));
  ASSERT_TRUE(again) << error;
  ASSERT_EQ(again->materialcount, 3u);
  EXPECT_STREQ(again->materials[1].name, "second");

  // Files: the same file named twice, and two files that differ.
  TempDir dir;
  dir.write("a.mtl", a);
  dir.write("b.mtl", b);
  Model files(glmReadOBJ(
      dir.write("f.obj", "mtllib a.mtl\nmtllib b.mtl\nmtllib a.mtl\nmtllib b.mtl\nusemtl b2\n")
          .c_str()));
  ASSERT_TRUE(files);
  ASSERT_EQ(files->materialcount, 3u);
  EXPECT_STREQ(files->materials[2].name, "b2");
  EXPECT_EQ(files->groups->material, 2u);
}

TEST(Mtl, DefinitionNamesAreFirstWordsWithoutCarriageReturns) {
  Model m = withLibrary("newmtl  skin  tone\r\nnewmtl\r\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 3u);
  EXPECT_STREQ(m->materials[1].name, "skin");
  EXPECT_STREQ(m->materials[2].name, "");
}

TEST(Mtl, EveryKeywordStartingWithLowercaseNDefinesAMaterial) {
  Model m = withLibrary("n first\nnotes second\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 3u);
  EXPECT_STREQ(m->materials[2].name, "second");
}

TEST(Mtl, DefinitionsAfterColourNumbersOnOneLineAreCountedAndStored) {
  // Text after the numbers is read as keywords: the definition that
  // follows the colour on its line is a material, and is counted as one.
  Model m = withLibrary("Kd 1 0 0 newmtl late\nNs 500 newmtl later\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 3u);
  EXPECT_STREQ(m->materials[1].name, "late");
  EXPECT_STREQ(m->materials[2].name, "later");
  expectColour(m->materials[0].diffuse, 1.0f, 0.0f, 0.0f);
  EXPECT_EQ(m->materials[1].shininess, 64.0f);
}

TEST(Mtl, AnEmptyLibraryGivesOnlyTheDefaultMaterial) {
  Model m = withLibrary("");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->materialcount, 1u);
  EXPECT_STREQ(m->materials[0].name, "default");
}

}  // namespace
