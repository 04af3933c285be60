// Material libraries: counting, defaults, colours, the shininess scale and
// which statements change which material.
#include "support/reader_support.h"

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
  // Ni also starts with N and replaces the Ns value: 1.5 / 1000 * 128.
  float expected = 1.5f / 1000.0f;
  expected *= 128.0f;
  EXPECT_EQ(m->materials[4].shininess, expected);
  EXPECT_NEAR(m->materials[4].shininess, 0.192f, 1e-6f);
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

TEST(Mtl, DuplicateNamesMakeTwoMaterialsAndUsesFindTheFirst) {
  Model m = mustRead("mtllib m.mtl\nusemtl twin\n", {{"m.mtl", "newmtl twin\nnewmtl twin\n"}});
  ASSERT_TRUE(m);
  EXPECT_EQ(m->materialcount, 3u);
  EXPECT_EQ(m->groups->material, 1u);
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
