// Reader statements: keyword classes, coordinates, how numbers are read
// across line ends and where the next keyword starts.
#include "support/reader_support.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace reader_test;

namespace {

TEST(Statements, VertexFileGivesCountsAndOneEmptyDefaultGroup) {
  Model m = mustRead("v 1 2 3\nv -4.5 0.25 1e2\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertexcount, 2u);
  EXPECT_EQ(vertex(m.get(), 1)[0], 1.0f);
  EXPECT_EQ(vertex(m.get(), 1)[2], 3.0f);
  EXPECT_EQ(vertex(m.get(), 2)[0], -4.5f);
  EXPECT_EQ(vertex(m.get(), 2)[1], 0.25f);
  EXPECT_EQ(vertex(m.get(), 2)[2], 100.0f);
  EXPECT_EQ(m->trianglecount, 0u);
  EXPECT_EQ(m->normals, nullptr);
  EXPECT_EQ(m->texcoords, nullptr);
  EXPECT_EQ(m->mtllib, nullptr);
  EXPECT_EQ(m->materials, nullptr);
  EXPECT_EQ(m->materialcount, 0u);
  EXPECT_EQ(m->facetnorms, nullptr);
  EXPECT_EQ(m->facetnormcount, 0u);
  EXPECT_STREQ(m->path, "test.obj");
  EXPECT_EQ(groupList(m.get()), "[default] m0:\n");
}

TEST(Statements, EmptyAndBlankTextGiveAnEmptyModelWithVertexArray) {
  for (const char* text : {"", " \n\t\r\n\v\f"}) {
    Model m = mustRead(text);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->vertexcount, 0u);
    EXPECT_NE(m->vertices, nullptr);
    EXPECT_EQ(m->trianglecount, 0u);
    EXPECT_EQ(m->groupcount, 1u);
  }
}

TEST(Statements, NormalsAndTextureCoordinatesFillTheirOwnArrays) {
  Model m = mustRead("vn 0 0 1\nvt 0.5 0.75\nvn 1 0 0\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertexcount, 0u);
  EXPECT_EQ(m->normalcount, 2u);
  EXPECT_EQ(m->texcoordcount, 1u);
  EXPECT_EQ(normal(m.get(), 1)[2], 1.0f);
  EXPECT_EQ(normal(m.get(), 2)[0], 1.0f);
  EXPECT_EQ(texcoord(m.get(), 1)[0], 0.5f);
  EXPECT_EQ(texcoord(m.get(), 1)[1], 0.75f);
}

TEST(Statements, OnlyTheFirstTwoCharactersOfVKeywordsCount) {
  Model m = mustRead("vn2 0 0 1\nvtx 0.5 0.5\nvnormal 1 0 0\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->normalcount, 2u);
  EXPECT_EQ(m->texcoordcount, 1u);
  EXPECT_EQ(normal(m.get(), 2)[0], 1.0f);
}

TEST(Statements, KeywordsAreClassifiedByTheirFirstCharacterOnly) {
  // "face" is a face, "group" a group, "uxyz" a material use; s, o, l, #
  // and unknown letters are skipped whole.
  Model m = mustRead(
      "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
      "s 1\no thing 1 2 3\nl 1 2\n# f 1 2 3\nx 9 9 9\n"
      "group g\nface 1 2 3\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->trianglecount, 1u);
  EXPECT_EQ(groupList(m.get()), "[ g] m0: 0\n[default] m0:\n");
}

TEST(Statements, KeywordCaseMatters) {
  Model m = mustRead("V 1 2 3\nF 1 2 3\nG x\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertexcount, 0u);
  EXPECT_EQ(m->trianglecount, 0u);
  EXPECT_EQ(m->groupcount, 1u);
}

TEST(Statements, NumbersAreReadAcrossLineEnds) {
  Model m = mustRead("v 1\n2\n\n  3 v 4 5 6\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, 2u);
  EXPECT_EQ(vertex(m.get(), 1)[1], 2.0f);
  EXPECT_EQ(vertex(m.get(), 1)[2], 3.0f);
  EXPECT_EQ(vertex(m.get(), 2)[0], 4.0f);
}

TEST(Statements, TheNextKeywordStartsWhereTheLastNumberEnded) {
  // The fourth number is a keyword of its own (skipped with its line); the
  // face written after three numbers on the same line is a face.
  Model m = mustRead("v 1 2 3 4 f 9 9 9\nv 0 1 0\nv 0 0 1 f 1 2 3\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertexcount, 3u);
  ASSERT_EQ(m->trianglecount, 1u);
  EXPECT_EQ(vertexCorners(m.get()), "1 2 3");
}

TEST(Statements, MissingNumbersStopAtTheNextKeywordAndReadAsZero) {
  Model m = mustRead("v 1 2\nvt 0.5\nvn\nv 7 8 9\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, 2u);
  EXPECT_EQ(vertex(m.get(), 1)[0], 1.0f);
  EXPECT_EQ(vertex(m.get(), 1)[1], 2.0f);
  EXPECT_EQ(vertex(m.get(), 1)[2], 0.0f);
  EXPECT_EQ(texcoord(m.get(), 1)[1], 0.0f);
  EXPECT_EQ(normal(m.get(), 1)[0], 0.0f);
  EXPECT_EQ(vertex(m.get(), 2)[2], 9.0f);
}

TEST(Statements, NumberSyntaxSignsFractionsAndExponents) {
  Model m = mustRead(
      "v +1.5 -.5 5.\n"
      "v 1e3 2.5E-2 -3e+1\n"
      "v 0.1 1.17549435e-38 -0\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(vertex(m.get(), 1)[0], 1.5f);
  EXPECT_EQ(vertex(m.get(), 1)[1], -0.5f);
  EXPECT_EQ(vertex(m.get(), 1)[2], 5.0f);
  EXPECT_EQ(vertex(m.get(), 2)[0], 1000.0f);
  EXPECT_EQ(vertex(m.get(), 2)[1], 0.025f);
  EXPECT_EQ(vertex(m.get(), 2)[2], -30.0f);
  EXPECT_EQ(vertex(m.get(), 3)[0], 0.1f);
  EXPECT_EQ(vertex(m.get(), 3)[1], 1.17549435e-38f);
  EXPECT_TRUE(std::signbit(vertex(m.get(), 3)[2]));
}

TEST(Statements, FloatsAreCorrectlyRounded) {
  // Half-way and near-half-way cases between neighbouring floats, long
  // mantissas, denormals and the largest float.
  const char* texts[] = {"16777217",
                         "16777219",
                         "0.70710677",
                         "3.14159265358979323846",
                         "1.00000005960464477539062500000000001",
                         "1.0000000596046447753906250",
                         "7.006492321624086e-46",
                         "3.4028235e38",
                         "123456.789e-3",
                         "0.000000000000000000000000000000000000011754943508222875"};
  for (const char* number : texts) {
    Model m = mustRead(std::string("v ") + number + " 0 0\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(vertex(m.get(), 1)[0], strtof(number, nullptr)) << number;
  }
}

TEST(Statements, FloatsMatchTheCLibraryOnManyDecimalsNearHalfWayPoints) {
  // Decimals of up to 17 significant digits around the half-way points
  // between neighbouring floats, where a conversion that rounds twice
  // goes wrong; every one must equal strtof's correctly rounded result.
  std::mt19937_64 rng(7);
  std::vector<std::string> numbers;
  std::string text;
  char buf[64];
  for (int i = 0; i < 60000; i++) {
    uint32_t bits = uint32_t(rng()) & 0x7F7FFFFF;  // finite, positive
    float f;
    memcpy(&f, &bits, sizeof f);
    double half = (double(f) + double(std::nextafter(f, INFINITY))) / 2;
    int digits = 6 + int(rng() % 12);
    if (i % 3 == 0)
      snprintf(buf, sizeof buf, "%.*f", int(rng() % 9), double(f) * 1e-3);
    else
      snprintf(buf, sizeof buf, "%.*g", digits, half);
    numbers.push_back(buf);
    text += std::string(i % 2 ? "v " : "v -") + buf + " 0 0\n";
  }
  Model m = mustRead(text);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, numbers.size());
  int wrong = 0;
  for (size_t i = 0; i < numbers.size(); i++) {
    float expected = strtof(numbers[i].c_str(), nullptr) * (i % 2 ? 1 : -1);
    if (vertex(m.get(), GLuint(i + 1))[0] != expected && wrong++ < 5)
      ADD_FAILURE() << numbers[i] << " read as " << vertex(m.get(), GLuint(i + 1))[0];
  }
  EXPECT_EQ(wrong, 0);
}

TEST(Statements, UnderflowGivesZero) {
  Model m = mustRead("v 1e-50 -1e-999999999999 0.0000000000000000000000000000000000000000000001\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(vertex(m.get(), 1)[0], 0.0f);
  EXPECT_EQ(vertex(m.get(), 1)[1], 0.0f);
  EXPECT_TRUE(std::signbit(vertex(m.get(), 1)[1]));
  EXPECT_EQ(vertex(m.get(), 1)[2], 0.0f);
}

TEST(Statements, AnExponentWithoutDigitsIsNotPartOfTheNumber) {
  // "2e" is 2, then "e" starts a skipped statement that takes its line.
  Model m = mustRead("v 1 2e 3\nv 4 5 6\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, 2u);
  EXPECT_EQ(vertex(m.get(), 1)[1], 2.0f);
  EXPECT_EQ(vertex(m.get(), 1)[2], 0.0f);
  EXPECT_EQ(vertex(m.get(), 2)[0], 4.0f);
}

TEST(Statements, WordsThatAreNotDecimalNumbersEndTheStatement) {
  // nan, inf and hexadecimal are not numbers here: they become keywords.
  Model m = mustRead("v nan 1 2\nv inf\nv 0x10 5 5\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(vertex(m.get(), 1)[0], 0.0f);
  EXPECT_EQ(vertex(m.get(), 3)[0], 0.0f);  // "0", then "x10" is a keyword
  EXPECT_EQ(vertex(m.get(), 3)[1], 0.0f);
}

TEST(Statements, CarriageReturnLineEndsAndALastLineWithoutNewline) {
  Model m = mustRead("v 1 2 3\r\nv 4 5 6\r\nf 1 2 2\r\nv 7 8 9");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertexcount, 3u);
  EXPECT_EQ(vertex(m.get(), 3)[2], 9.0f);
  EXPECT_EQ(m->trianglecount, 1u);
}

TEST(Statements, LongCommentsAndKeywordsAreSkippedWhole) {
  // Lines and keywords far beyond 127 bytes never turn into statements.
  std::string longLine = "#" + std::string(300, 'x') + " f 1 1 1 g hidden\n";
  std::string longKeyword = "o" + std::string(500, 'y') + " v 1 2 3\n";
  Model m = mustRead(longLine + longKeyword + "v 1 2 3\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertexcount, 1u);
  EXPECT_EQ(m->trianglecount, 0u);
  EXPECT_EQ(m->groupcount, 1u);
}

TEST(Statements, TextIsReadOnlyWithinItsLength) {
  // The buffer holds more than the length says; nothing past it is read.
  std::string text = "v 1 2 3\nv 4 5 6\n";
  char error[128];
  GLMmodel* m = glmReadOBJText("t.obj", text.data(), 8, nullptr, nullptr, error, sizeof error);
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->vertexcount, 1u);
  glmDelete(m);
  // Cut inside a number: the last number is 34.
  m = glmReadOBJText("t.obj", "v 1 2 345", 8, nullptr, nullptr, error, sizeof error);
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(vertex(m, 1)[2], 34.0f);
  glmDelete(m);
}

}  // namespace
