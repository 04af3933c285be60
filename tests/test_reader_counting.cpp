// The counting pass counts lines by their first bytes first, and starts over
// counting statement by statement when the storing pass finds the guess
// wrong. Whatever the text, the outcome must be the one of counting
// statement by statement alone: the same model bit for bit, or the same
// error, and the same messages, printed once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glm_internal.h"
#include "support/model_difference.h"
#include "support/reader_support.h"

namespace {

using reader_test::Libraries;
using reader_test::libraryText;

struct Outcome {
  GLMmodel* model;
  std::string error, printed;
};

Outcome read(const std::string& obj, Libraries& libs, int counting, GLuint flags = 0) {
  char error[512] = "";
  testing::internal::CaptureStdout();
  GLMmodel* model = readObjTextCounting("dir/t.obj", obj.data(), obj.size(), libraryText, &libs,
                                        error, sizeof error, counting, flags);
  return Outcome{model, model ? "" : error, testing::internal::GetCapturedStdout()};
}

// Reads `obj` counting lines first and counting statements only; expects
// both to end alike, accepting the text or not as `accepted` says. With
// `byLinesAlone`, counting lines must also hold without starting over.
void expectSameOutcome(const std::string& obj, bool accepted, Libraries libs = {},
                       bool byLinesAlone = false) {
  Outcome lines = read(obj, libs, GLM_COUNT_LINES_FIRST);
  Outcome statements = read(obj, libs, GLM_COUNT_STATEMENTS);
  EXPECT_EQ(lines.model != nullptr, accepted) << lines.error << "\n" << obj;
  EXPECT_EQ(lines.model != nullptr, statements.model != nullptr) << obj;
  if (lines.model && statements.model) {
    EXPECT_EQ(modelDifference(lines.model, statements.model), "") << obj;
  }
  EXPECT_EQ(lines.error, statements.error) << obj;
  EXPECT_EQ(lines.printed, statements.printed) << obj;
  if (byLinesAlone) {
    Outcome alone = read(obj, libs, GLM_COUNT_LINES_ONLY);
    EXPECT_TRUE(alone.model) << alone.error << "\n" << obj;
    if (alone.model && statements.model) {
      EXPECT_EQ(modelDifference(alone.model, statements.model), "") << obj;
    }
    if (alone.model) glmDelete(alone.model);
  }
  if (lines.model) glmDelete(lines.model);
  if (statements.model) glmDelete(statements.model);
}

// The same snippet alone (read byte by byte at the end of the text) and
// after comment lines that move it across the 64-byte blocks the lines are
// counted in, with room after it.
void expectSameOutcomeAnywhere(const std::string& snippet, bool accepted, Libraries libs = {},
                               bool byLinesAlone = false) {
  const std::string room(300, '#');
  expectSameOutcome(snippet, accepted, libs, byLinesAlone);
  for (int shift = 0; shift < 64; shift += 7)
    expectSameOutcome("#" + std::string(size_t(shift), ' ') + "\n" + snippet + room + "\n",
                      accepted, libs, byLinesAlone);
}

const char kSquare[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

TEST(Counting, OneStatementPerLineIsCountedByLines) {
  // Long face lines cross the blocks lines are counted in, wherever the
  // text around them puts them.
  Libraries libs{{"dir/m.mtl", "newmtl red\n"}};
  std::string faces;
  for (int i = 0; i < 6; i++) faces += "f 1/1/1 2/2/1 3/1/1 4/2/1 1/1/1 2/2/1 3/1/1 4/2/1\t \r\n";
  expectSameOutcomeAnywhere(std::string(kSquare) + "vn 0 0 1\nvt 0 0\nvt 1 1\nmtllib m.mtl\n" +
                                "g a\nusemtl red\n" + faces + "g b\nf 1//1 2//1 3//1\n" +
                                "s off\r\n\ng a\nf -4 -3 -2\n\n# end\r\n",
                            true, libs, true);
}

TEST(Counting, StatementsThatLinesMiscountGiveTheSameModel) {
  using namespace std::string_literals;
  Libraries libs{{"dir/m.mtl", "newmtl red\n"}};
  // A face going on on the next line (before a group and a library line), a
  // comment after a face, faces of one and two corners, numbers spread over
  // lines, statements after white space, face, group, library, texture
  // coordinate and normal keywords in a vertex line (the first ones of their
  // kind), a face keyword longer than "f", a NUL inside a face line.
  for (const std::string& snippet :
       {"f 1 2 3\n4\n"s, "g a\nf 1 2 3 4\n1\ng b\nf 1 2 3\n2\nmtllib m.mtl\n"s, "f 1 2 3 # note\n"s,
        "f 1 2\nf 3\n"s, "v 1\n2 3\nf 1 2 3\n"s, "  v 1 2 3\n\tf 1 2 3 4\n"s, "v 1 2 3 f 1 2 3\n"s,
        "v 1 2 3 g x\nf 1 2 3\n"s, "v 1 2 3 mtllib m.mtl\n"s, "v 1 2 3 vt 1 2\n"s,
        "v 1 2 3 vn 1 2 3\n"s, "face 1 2 3 4\n"s, "f 1 2\0 3 4\n"s})
    expectSameOutcomeAnywhere(kSquare + snippet, true, libs);
}

TEST(Counting, RunsOfLikeLinesStopWhereTheCountedArraysEnd) {
  // Like lines are stored in runs. A line holding two statements is counted
  // as one, so the runs after it meet one statement more than the arrays
  // hold: they must stop there, and the read start over.
  auto lines = [](const std::string& line) {
    std::string text;
    for (int i = 0; i < 60; i++) text += line;
    return text;
  };
  const std::string tail = "#" + std::string(600, ' ') + "\n";
  for (const std::string statement : {"v 1 2 3", "vn 1 2 3", "vt 1 2"})
    expectSameOutcome(kSquare + statement + " " + statement + "\n" + lines(statement + "\n") + tail,
                      true);
  const std::string square = kSquare;
  // A longer keyword whose first letters make the next line's keyword.
  expectSameOutcome(square + "vt01 1 2\nvn 1 2 3\nvt 3 4\nvtx 5 6\n" + lines("vt 1 2\n") + tail,
                    true);
  expectSameOutcome(square + "v 1 2 3 f 1 2 3\n" + lines("f 1 2 3 4\n") + tail, true);
  expectSameOutcome(square + "vn 0 0 1 f 1//1 2//1 3//1\n" + lines("f 1//1 2//1 3//1\n") + tail,
                    true);
}

TEST(Counting, RunsOfLikeLinesReadNothingPastTheTextsEnd) {
  // Coordinate lines, then face lines, up to the last byte, in a buffer of
  // exactly the text's size (the address sanitizer sees any read past it).
  std::string lines[2];
  for (int i = 0; i < 100; i++) {
    lines[0] += "vt 0.5 0.25\n";
    lines[1] += "f 1/1 2/2 3/1\n";
  }
  for (const std::string& text : {kSquare + lines[1] + lines[0], kSquare + lines[0] + lines[1]}) {
    std::vector<char> exact(text.begin(), text.end());
    char error[256] = "";
    GLMmodel* m =
        glmReadOBJText("t.obj", exact.data(), exact.size(), nullptr, nullptr, error, sizeof error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->texcoordcount, 100u);
    EXPECT_EQ(m->trianglecount, 100u);
    EXPECT_EQ(m->texcoords[2 * 100], 0.5f);
    EXPECT_EQ(m->triangles[99].texcoordidx[2], 1u);
    glmDelete(m);
  }
}

TEST(Counting, ErrorsAreTheStatementCountsErrors) {
  const std::string square = kSquare;
  // A face whose first corner is the next line's group or library keyword,
  // an unknown keyword, a library that is missing, an index beyond the
  // vertices.
  expectSameOutcomeAnywhere(square + "f\ng x\n", false);
  expectSameOutcomeAnywhere(square + "f\nmtllib none.mtl\n", false);
  expectSameOutcomeAnywhere(square + "vp 1 2\n", false);
  expectSameOutcomeAnywhere(square + "mtllib none.mtl\nf 1 2 3\n", false);
  expectSameOutcomeAnywhere(square + "f 1 2 5\n", false);
}

TEST(Counting, MaterialMessagesArePrintedOnceWhenCountingStartsOver) {
  Libraries libs{{"dir/m.mtl", "newmtl red\nKd 1 0 0\n"}};
  // The comment after the face sends the read back to counting statements.
  expectSameOutcomeAnywhere(std::string("usemtl lost\nmtllib m.mtl\n") + kSquare +
                                "usemtl red\nf 1 2 3 # note\nusemtl gone\n",
                            true, libs);
  Libraries again = libs;
  Outcome once = read(std::string("mtllib m.mtl\nusemtl lost\n") + kSquare + "f 1 2 3 # c\n", again,
                      GLM_COUNT_LINES_FIRST);
  EXPECT_EQ(once.printed, "glmFindMaterial():  can't find material \"lost\".\n");
  glmDelete(once.model);
}

TEST(Counting, PiecesWhoseLinesCannotBeCountedAreCountedStatementByStatement) {
  // Indented statements: the pieces holding one are counted statement by
  // statement, their group, library and material statements noted as lines
  // are, and the read stays in pieces.
  std::string obj = "mtllib m.mtl\n";
  for (int i = 1; i <= 30; i++) obj += "v " + std::to_string(i) + " 0 0\nvn 0 0 1\n";
  for (int g = 0; g < 4; g++) {
    obj += "g part" + std::to_string(g % 3) + "\n usemtl " + (g % 2 ? "red\n" : "blue\n");
    if (g == 2) obj += "mtllib m.mtl\n";
    for (int i = 1; i + 3 <= 30; i++) {
      const std::string a = std::to_string(i), b = std::to_string(i + 1), c = std::to_string(i + 2),
                        d = std::to_string(i + 3);
      obj += (i % 3 ? "f " : "\tf ") + a + "//" + a + " " + b + "//" + b + " " + c + "//" + c;
      obj += i % 4 ? "\n" : " " + d + "//" + d + "\n";
    }
  }
  Libraries libs{{"dir/m.mtl", "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n"}};
  setReadSplit(4, 1);
  Outcome pieces = read(obj, libs, GLM_PIECES_ONLY);
  setReadSplit(0, 0);
  Outcome statements = read(obj, libs, GLM_COUNT_STATEMENTS);
  ASSERT_TRUE(pieces.model) << pieces.error;
  ASSERT_TRUE(statements.model) << statements.error;
  EXPECT_EQ(modelDifference(pieces.model, statements.model), "");
  EXPECT_EQ(pieces.printed, statements.printed);
  glmDelete(pieces.model);
  glmDelete(statements.model);
}

// ---- One pass ----------------------------------------------------------------

// Reads `obj` in one pass only (which must hold when `onePass`) and as
// glmReadOBJText does, and expects both ends alike to counting statements
// only: the same model, the same error and the same messages.
void expectOnePassAlike(const std::string& obj, bool onePass, Libraries libs = {},
                        GLuint flags = 0) {
  Outcome statements = read(obj, libs, GLM_COUNT_STATEMENTS, flags);
  for (int counting : {GLM_ONE_PASS_ONLY, GLM_COUNT_LINES_FIRST}) {
    Outcome o = read(obj, libs, counting, flags);
    if (counting == GLM_ONE_PASS_ONLY && !onePass) {
      EXPECT_EQ(o.error, "dir/t.obj: not read in one pass") << obj;
      continue;
    }
    ASSERT_EQ(o.model != nullptr, statements.model != nullptr) << o.error << "\n" << obj;
    if (o.model) {
      EXPECT_EQ(modelDifference(o.model, statements.model), "") << obj;
      glmDelete(o.model);
    }
    EXPECT_EQ(o.error, statements.error) << obj;
    EXPECT_EQ(o.printed, statements.printed) << obj;
  }
  if (statements.model) glmDelete(statements.model);
}

TEST(OnePass, ArraysGrowingManyTimesHoldWhatTwoPassesStore) {
  // Thousands of coordinates, faces of every form in groups taken in turn,
  // materials found and not: every array and group list grows many times.
  Libraries libs{{"dir/m.mtl", "newmtl red\nnewmtl blue\n"}};
  std::string obj = "mtllib m.mtl\n";
  for (int i = 1; i <= 3000; i++) {
    const std::string n = std::to_string(i);
    obj += "v " + n + " 0." + n + " -" + n + "e-2\nvn 0 0 1\nvt 0." + n + " 1\n";
    if (i % 97 == 0)
      obj += "g part" + std::to_string(i % 3) + "\nusemtl " + (i % 2 ? "red\n" : "gone\n");
    if (i >= 4) obj += i % 3 ? "f -1/-1/-1 -2/-2/-2 -3/-3/-3 " + n + "/1/1\n" : "f 1 " + n + " 3\n";
  }
  expectOnePassAlike(obj, true, libs);
  expectOnePassAlike(obj, true, libs, GLM_READ_LENIENT);
}

TEST(OnePass, ArraysOfMegabytesGrowOntoHugePages) {
  // Far more coordinates and faces than the text's length suggests: the
  // arrays grow past 1 MiB, where they move onto whole huge pages.
  std::string obj;
  for (int i = 1; i <= 120000; i++) obj += "v " + std::to_string(i % 977) + " 1 2\n";
  for (int i = 3; i <= 120000; i += 3) obj += "f -1 -2 " + std::to_string(i) + "\n";
  expectOnePassAlike(obj, true);
}

TEST(OnePass, FacesMayNameElementsTheTextComesToLater) {
  // One pass takes them on trust and checks at the end; where they never
  // come, two passes read the text and tell the error.
  const std::string square = kSquare;
  expectOnePassAlike("f 1/1/1 2/2/2 5/3/1\n" + square + "v 2 2 0\nvt 0 0\nvt 1 0\nvt 1 1\n" +
                         "vn 0 0 1\nvn 0 1 0\n",
                     true);
  for (const char* never : {"f 1 2 5\n", "f 1/1 2/1 3/1\nvt 0 0\nvt 1 1\nf 1/3 2/2 3/1\n",
                            "f 1//2 2//1 3//1\nvn 0 0 1\n"})
    expectOnePassAlike(square + never, false);
  Libraries none;
  EXPECT_EQ(read(square + "f 1 2 5\n", none, GLM_COUNT_LINES_FIRST).error,
            "dir/t.obj:5: face index out of range: `f 1 2 5`");
}

TEST(OnePass, WhatOnePassCannotSettleIsReadInTwo) {
  // A library after a material statement changes the materials it named
  // (read leniently, adds to them); read leniently, a face drops normal
  // indices while the text has no normals, which it has after all.
  Libraries libs{{"dir/a.mtl", "newmtl red\nnewmtl blue\n"}, {"dir/b.mtl", "newmtl blue\n"}};
  const std::string square = kSquare;
  const std::string late = "mtllib a.mtl\n" + square + "usemtl blue\nf 1 2 3\nmtllib b.mtl\n" +
                           "g next\nusemtl red\nf 1 3 4\n";
  expectOnePassAlike(late, false, libs);
  expectOnePassAlike(late, false, libs, GLM_READ_LENIENT);
  expectOnePassAlike("mtllib a.mtl\nmtllib b.mtl\n" + square + "usemtl blue\nf 1 2 3\n", true,
                     libs);
  const std::string dropped = square + "f 1//1 2//1 3//1\n";
  expectOnePassAlike(dropped, true, {}, GLM_READ_LENIENT);
  expectOnePassAlike(dropped + "vn 0 0 1\nf 1//1 3//1 4//1\n", false, {}, GLM_READ_LENIENT);
}

}  // namespace
