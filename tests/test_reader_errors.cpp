// Reader errors: what glmTryReadOBJ and glmReadOBJText report for every
// kind of bad input, and glmReadOBJ's exact messages, streams and exit
// statuses.
#include "support/reader_support.h"

#include <cstring>

using namespace reader_test;

namespace {

const char kTriangle[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\n";

// The message reading `obj` gives; empty when it reads.
std::string errorOf(const std::string& obj, Libraries libs = {}) {
  Read r = readText(obj, std::move(libs));
  return r.model ? std::string() : r.error;
}

TEST(Errors, FaceIndicesThatNameNoElementAreRejectedWithFileLineAndStatement) {
  const std::string base = kTriangle;  // three vertices, lines 1-3
  EXPECT_EQ(errorOf(base + "f 1 2 9\n"), "test.obj:4: face index out of range: `f 1 2 9`");
  EXPECT_EQ(errorOf(base + "f 0 1 2\n"), "test.obj:4: face index out of range: `f 0 1 2`");
  EXPECT_EQ(errorOf(base + "f -4 -3 -2\n"), "test.obj:4: face index out of range: `f -4 -3 -2`");
  EXPECT_EQ(errorOf(base + "\n\nf 1 2 3 4\r\n"),
            "test.obj:6: face index out of range: `f 1 2 3 4`");
  // Relative indices count only what stands above the face.
  EXPECT_EQ(errorOf("f -1 -1 -1\n" + base), "test.obj:1: face index out of range: `f -1 -1 -1`");
}

TEST(Errors, NormalAndTexcoordIndicesOfAFileWithoutThemAreRejected) {
  const std::string base = kTriangle;
  EXPECT_NE(errorOf(base + "f 1//1 2//1 3//1\n"), "");
  EXPECT_NE(errorOf(base + "f 1/1 2/1 3/1\n"), "");
  EXPECT_NE(errorOf(base + "vt 0 0\nf 1/1/1 2/1/1 3/1/1\n"), "");
  EXPECT_NE(errorOf(base + "vt 0 0\nf 1/-2 2/1 3/1\n"), "");
  EXPECT_NE(errorOf(base + "vn 0 0 1\nf 1//2 2//1 3//1\n"), "");
  // Relative indices reaching before the first element.
  EXPECT_EQ(errorOf(base + "f 1//-1 2//-1 3//-1\n"),
            "test.obj:4: face index out of range: `f 1//-1 2//-1 3//-1`");
  EXPECT_EQ(errorOf(base + "vn 0 0 1\nf 1//1 2//-2 3//1\n"),
            "test.obj:5: face index out of range: `f 1//1 2//-2 3//1`");
  // The same indices are fine once the file has the elements.
  EXPECT_EQ(errorOf(base + "vn 0 0 1\nvt 0 0\nf 1/1/1 2/1/1 3/-1/-1\n"), "");
}

TEST(Errors, FacesWithoutAnyCornerAreRejected) {
  EXPECT_EQ(errorOf(std::string(kTriangle) + "f\n"), "test.obj:4: face index out of range: `f`");
  EXPECT_EQ(errorOf(std::string(kTriangle) + "f x y z\n"),
            "test.obj:4: face index out of range: `f x y z`");
  // The next statement's keyword is taken as the first corner.
  EXPECT_EQ(errorOf(std::string(kTriangle) + "f\nv 1 1 1\n"),
            "test.obj:4: face index out of range: `f`");
}

TEST(Errors, IndicesBeyondThirtyTwoBitsAreRejected) {
  std::string base = kTriangle;
  EXPECT_EQ(errorOf(base + "f 1 2 2147483648\n"),
            "test.obj:4: face index out of range: `f 1 2 2147483648`");
  EXPECT_NE(errorOf(base + "f 1 2 -2147483649\n"), "");
  EXPECT_NE(errorOf(base + "f 4294967297 1 2\n"), "");
  EXPECT_NE(errorOf(base + "f 1/99999999999999999999/1 1 2\n"), "");
}

TEST(Errors, NumbersBeyondFloatRangeAreRejected) {
  EXPECT_EQ(errorOf("v 1 2 3\nv 1e39 0 0\n"), "test.obj:2: number out of range: `v 1e39 0 0`");
  EXPECT_EQ(errorOf("vn -3.5e38 0 0\n"), "test.obj:1: number out of range: `vn -3.5e38 0 0`");
  EXPECT_NE(errorOf("vt 0 1" + std::string(50, '0') + "\n"), "");
}

TEST(Errors, UnknownVKeywordsAreRejected) {
  EXPECT_EQ(errorOf("v 0 0 0\nvp 0.5 0.5\n"), "test.obj:2: unknown token \"vp\"");
  EXPECT_EQ(errorOf("# x\n\n  vertex 1 2 3\n"), "test.obj:3: unknown token \"vertex\"");
}

TEST(Errors, MissingLibrariesAreNamedAsComposed) {
  Read r = readText("v 0 0 0\nmtllib absent.mtl\n", {}, "models/cow.obj");
  EXPECT_FALSE(r.model);
  EXPECT_EQ(r.error, "models/absent.mtl: can't open material file");
  // Without a library source every library is missing.
  char error[128];
  const char text[] = "mtllib m.mtl\n";
  EXPECT_EQ(glmReadOBJText("a.obj", text, strlen(text), nullptr, nullptr, error, sizeof error),
            nullptr);
  EXPECT_STREQ(error, "m.mtl: can't open material file");
}

TEST(Errors, LibraryErrorsNameTheLibraryAndItsLine) {
  EXPECT_EQ(errorOf("mtllib m.mtl\n", {{"m.mtl", "newmtl a\nKd 1e999 0 0\n"}}),
            "m.mtl:2: number out of range: `Kd 1e999 0 0`");
  EXPECT_EQ(errorOf("mtllib m.mtl\n", {{"m.mtl", "newmtl a\r\n\r\nNs 1e40\r\n"}}),
            "m.mtl:3: number out of range: `Ns 1e40`");
}

TEST(Errors, LongStatementsAreQuotedInPart) {
  std::string face = "f 1 2 3";
  for (int i = 0; i < 40; i++) face += " 9";
  std::string error = errorOf(std::string(kTriangle) + face + "\n");
  EXPECT_EQ(error, "test.obj:4: face index out of range: `" + face.substr(0, 80) + "...`");
}

TEST(Errors, MessagesAreCutToTheCallersBuffer) {
  const char text[] = "vp\n";
  char error[12];
  memset(error, 'x', sizeof error);
  EXPECT_EQ(glmReadOBJText("a.obj", text, 3, nullptr, nullptr, error, 8), nullptr);
  EXPECT_STREQ(error, "a.obj:1");
  EXPECT_EQ(error[8], 'x');
  EXPECT_EQ(glmReadOBJText("a.obj", text, 3, nullptr, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(glmReadOBJText("a.obj", text, 3, nullptr, nullptr, error, 0), nullptr);
  EXPECT_EQ(error[0], 'a');
}

TEST(Errors, ErrorsAfterGroupsAndMaterialsLeaveNothingBehind) {
  // Run under LeakSanitizer in the sanitizer build: the partial model, its
  // groups, materials and names must all be released.
  Libraries libs = {{"m.mtl", "newmtl a\nnewmtl b\n"}};
  EXPECT_NE(errorOf("mtllib m.mtl\ng one\ng two\nv 0 0 0\nf 1 1 1\nf 1 1 2\n", libs), "");
  EXPECT_NE(errorOf("mtllib m.mtl\nmtllib m.mtl\ng one\nvx\n", libs), "");
  EXPECT_NE(errorOf("mtllib m.mtl\n", {{"m.mtl", "newmtl a\nnewmtl b\nKs 1e99\n"}}), "");
}

TEST(Errors, EmbeddedNulBytesCutNamesAndBothPassesAgree) {
  std::string text = std::string(kTriangle) + "g a" + '\0' + "b\nf 1 2 3\ng a" + '\0' +
                     "c\nf 1 2 3\n" + '\0' + "x\nf 1 2 3\nv" + '\0' + " 5 6 7\n";
  Model m = mustRead(text);
  ASSERT_TRUE(m);
  EXPECT_EQ(groupList(m.get()), "[ a] m0: 0 1 2\n[default] m0:\n");
  ASSERT_EQ(m->vertexcount, 4u);  // "v" and a NUL byte is the keyword "v"
  EXPECT_EQ(vertex(m.get(), 4)[2], 7.0f);
}

// ---- glmReadOBJ: exact messages, streams and exit status -----------------

TEST(ErrorsDeathTest, MissingFileEndsWithTheDataFileMessage) {
  EXPECT_EXIT(glmReadOBJ("no/such.obj"), testing::ExitedWithCode(1),
              "^glmReadOBJ\\(\\) failed: can't open data file \"no/such.obj\"\\.\n$");
  Outcome o = runChild([] { glmReadOBJ("no/such.obj"); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "glmReadOBJ() failed: can't open data file \"no/such.obj\".\n");
}

TEST(ErrorsDeathTest, MissingLibraryEndsWithTheComposedName) {
  std::string path = dataPath("missing_mtl.obj");
  Outcome o = runChild([&] { glmReadOBJ(path.c_str()); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err,
            "glmReadMTL() failed: can't open material file \"" + dataPath("absent.mtl") + "\".\n");
}

TEST(ErrorsDeathTest, UnknownTokenEndsWithItsMessageOnStandardOutput) {
  std::string path = dataPath("unknown_token.obj");
  Outcome o = runChild([&] { glmReadOBJ(path.c_str()); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "glmFirstPass(): Unknown token \"vp\".\n");
  EXPECT_EQ(o.err, "");
}

TEST(ErrorsDeathTest, LongUnknownTokensArePrintedWhole) {
  std::string keyword = "vz" + std::string(400, 'q');
  TempDir dir;
  std::string path = dir.write("long.obj", keyword + " 1 2 3\n");
  Outcome o = runChild([&] { glmReadOBJ(path.c_str()); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "glmFirstPass(): Unknown token \"" + keyword + "\".\n");
}

TEST(ErrorsDeathTest, OtherErrorsEndWithTheirMessageOnStandardError) {
  std::string path = dataPath("bad_index.obj");
  EXPECT_EXIT(glmReadOBJ(path.c_str()), testing::ExitedWithCode(1),
              "bad_index\\.obj:4: face index out of range: `f 1 2 9`\n$");
  Outcome o = runChild([&] { glmReadOBJ(path.c_str()); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, path + ":4: face index out of range: `f 1 2 9`\n");
}

TEST(ErrorsDeathTest, TryReadReturnsNullWhereReadEnds) {
  char error[256];
  std::string path = dataPath("unknown_token.obj");
  Outcome o = runChild([&] {
    GLMmodel* m = glmTryReadOBJ(path.c_str(), error, sizeof error);
    printf("%s|%s", m ? "model" : "null", error);
  });
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "null|" + path + ":2: unknown token \"vp\"");
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(glmTryReadOBJ("no/such.obj", error, sizeof error), nullptr);
  EXPECT_STREQ(error, "no/such.obj: can't open data file");
  EXPECT_EQ(glmTryReadOBJ(CELSHADE_TEST_DATA, error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error), std::string(CELSHADE_TEST_DATA) + ": can't open data file");
}

TEST(ErrorsDeathTest, NullArgumentsAreCallerErrors) {
  EXPECT_DEATH(glmReadOBJ(nullptr), "glm\\.cpp.*Assertion `filename' failed");
  EXPECT_DEATH(glmTryReadOBJ(nullptr, nullptr, 0), "glm\\.cpp.*Assertion `filename' failed");
  EXPECT_DEATH(glmReadOBJText(nullptr, "", 0, nullptr, nullptr, nullptr, 0),
               "glm\\.cpp.*Assertion `path' failed");
  EXPECT_DEATH(glmReadOBJText("a.obj", nullptr, 4, nullptr, nullptr, nullptr, 0),
               "glm\\.cpp.*Assertion `text \\|\\| length == 0' failed");
}

}  // namespace
