// Reading from files: whole models compared with committed dumps, libraries
// found beside the model, pipes, empty files, files longer than the window
// the counting pass reads them through, and a file large enough that the
// reader hands back pages while it reads.
#include "glm_internal.h"
#include "reader.h"
#include "support/reader_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

using namespace reader_test;

namespace {

// The dump of a model read from tests/data, with the data directory shown
// as "DATA".
std::string dumpOf(const GLMmodel* m) {
  std::string dump = dumpModel(m);
  const std::string dir = CELSHADE_TEST_DATA;
  for (size_t at; (at = dump.find(dir)) != std::string::npos;) dump.replace(at, dir.size(), "DATA");
  return dump;
}

class Golden : public testing::TestWithParam<const char*> {};

TEST_P(Golden, ModelMatchesItsCommittedDump) {
  std::string name = GetParam();
  std::string path = dataPath((name + ".obj").c_str());
  Model m(glmReadOBJ(path.c_str()));
  ASSERT_TRUE(m);
  std::string expected = slurp(dataPath((name + ".dump").c_str()).c_str());
  ASSERT_FALSE(expected.empty()) << "no dump for " << name;
  EXPECT_EQ(dumpOf(m.get()), expected);
}

INSTANTIATE_TEST_SUITE_P(Reader, Golden, testing::Values("cube", "mixed"));

TEST(Files, FileAndMemoryReadsGiveTheSameModel) {
  for (const char* name : {"cube", "mixed"}) {
    std::string path = dataPath((std::string(name) + ".obj").c_str());
    Model fromFile(glmReadOBJ(path.c_str()));
    std::string text = slurp(path.c_str());
    Libraries libs = {{dataPath("cube.mtl"), slurp(dataPath("cube.mtl").c_str())},
                      {dataPath("sub/mixed.mtl"), slurp(dataPath("sub/mixed.mtl").c_str())}};
    Model fromText = mustRead(text, libs, path.c_str());
    ASSERT_TRUE(fromFile && fromText);
    EXPECT_EQ(dumpModel(fromFile.get()), dumpModel(fromText.get())) << name;
  }
}

TEST(Files, TryReadGivesTheModelAndLeavesTheMessageAlone) {
  char error[64] = "untouched";
  Model m(glmTryReadOBJ(dataPath("cube.obj").c_str(), error, sizeof error));
  ASSERT_TRUE(m);
  EXPECT_STREQ(error, "untouched");
  EXPECT_EQ(m->trianglecount, 12u);
}

TEST(Files, EmptyFileGivesAnEmptyModel) {
  TempDir dir;
  Model m(glmReadOBJ(dir.write("empty.obj", "").c_str()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertexcount, 0u);
  EXPECT_EQ(m->trianglecount, 0u);
  EXPECT_EQ(groupList(m.get()), "[default] m0:\n");
}

// Windows tools start UTF-8 text with a byte-order mark: it is skipped in
// OBJ and MTL text alike, from files and from memory, so the first
// statement counts.
TEST(Files, AUtf8ByteOrderMarkIsSkipped) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string obj = bom + "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n";
  const std::string mtl = bom + "newmtl red\nKd 1 0 0\n";
  TempDir dir;
  dir.write("m.mtl", mtl);
  Model fromFile(glmReadOBJ(dir.write("bom.obj", obj).c_str()));
  Model fromText = mustRead(obj, {{"m.mtl", mtl}});
  for (const GLMmodel* m : {fromFile.get(), fromText.get()}) {
    ASSERT_TRUE(m);
    EXPECT_EQ(m->vertexcount, 3u);
    EXPECT_EQ(vertexCorners(m), "1 2 3");
    EXPECT_STREQ(m->mtllib, "m.mtl");
    ASSERT_EQ(m->materialcount, 2u);
    EXPECT_STREQ(m->materials[1].name, "red");
    EXPECT_EQ(m->groups->material, 1u);
  }
  // Only at the very start: elsewhere the bytes begin an unknown keyword.
  Model later = mustRead("v 0 0 0\n" + bom + "v 1 0 0\n");
  ASSERT_TRUE(later);
  EXPECT_EQ(later->vertexcount, 1u);
}

// UTF-16 text is refused with a message saying so, not read as nothing.
TEST(Files, Utf16TextIsRefusedAsSuch) {
  const std::string le(
      "\xFF\xFEv\0 \0"
      "0\0\n\0",
      10),
      be("\xFE\xFF\0v\0 \0"
         "0\0\n",
         10);
  for (const std::string& text : {le, be}) {
    Read obj = readText(text);
    EXPECT_FALSE(obj.model);
    EXPECT_EQ(obj.error, "test.obj: UTF-16 text, which is not read (save the file as UTF-8)");
    Read mtl = readText("mtllib m.mtl\n", {{"m.mtl", text}});
    EXPECT_FALSE(mtl.model);
    EXPECT_EQ(mtl.error, "m.mtl: UTF-16 text, which is not read (save the file as UTF-8)");
  }
  TempDir dir;
  std::string path = dir.write("wide.obj", le);
  char error[128] = "";
  EXPECT_EQ(glmTryReadOBJ(path.c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error), path + ": UTF-16 text, which is not read (save the file as UTF-8)");
}

TEST(Files, PipesAreReadToTheirEnd) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const char text[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\ng p\nf 1 2 3\n";
  ASSERT_EQ(write(fds[1], text, strlen(text)), ssize_t(strlen(text)));
  close(fds[1]);
  std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
  Model m(glmReadOBJ(path.c_str()));
  close(fds[0]);
  ASSERT_TRUE(m);
  EXPECT_EQ(vertexCorners(m.get()), "1 2 3");
  EXPECT_EQ(groupList(m.get()), "[ p] m0: 0\n[default] m0:\n");
}

TEST(Files, BytesPreadCannotReadComeThroughTheMapping) {
  // Copies of a mapped file (windows, cuts, the byte-order mark) are read
  // with pread; where it fails they hold the mapping's bytes, not fewer.
  std::string bytes;
  for (int i = 0; bytes.size() < 10000; i++) bytes += "v " + std::to_string(i) + " 0 0\n";
  TempDir dir;
  read_detail::Text text;
  ASSERT_EQ(read_detail::loadFile(dir.write("t.obj", bytes).c_str(), text), read_detail::Load::Ok);
  ASSERT_NE(text.map, nullptr);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[1]);
  close(text.fd);
  text.fd = ends[0];  // pread on a pipe fails
  char copy[5000];
  ASSERT_EQ(text.readAt(text.data + 100, copy, sizeof copy), sizeof copy);
  EXPECT_EQ(std::string(copy, sizeof copy), bytes.substr(100, sizeof copy));
}

TEST(Files, LargeFilesReadTheSameFromFileAndMemory) {
  // About 40 MB: the reader hands back mapped pages every 16 MiB of each
  // pass and must still see the same text in the second pass.
  std::string text = "mtllib big.mtl\n";
  const int side = 700;
  char line[96];
  for (int j = 0; j < side; j++)
    for (int i = 0; i < side; i++) {
      snprintf(line, sizeof line, "v %d.%06d %d.125 -%d.5\nvt 0.%06d 0.5\nvn 0 0 1\n", i, j * 7, j,
               i + j, i * 11);
      text += line;
    }
  for (int j = 0; j + 1 < side; j++) {
    snprintf(line, sizeof line, "g band%d\nusemtl m%d\n", j % 3, j % 2);
    text += line;
    for (int i = 0; i + 1 < side; i++) {
      int a = j * side + i + 1, b = a + 1, c = a + side + 1, d = a + side;
      snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c,
               c, d, d, d);
      text += line;
    }
  }
  const std::string mtl = "newmtl m0\nKd 1 0 0\nnewmtl m1\nKd 0 1 0\n";
  ASSERT_GT(text.size(), size_t(40) << 20);
  TempDir dir;
  std::string mtlPath = dir.write("big.mtl", mtl);
  std::string path = dir.write("large.obj", text);

  Model fromFile(glmReadOBJ(path.c_str()));
  Model fromText = mustRead(text, {{mtlPath, mtl}}, path.c_str());
  ASSERT_TRUE(fromFile && fromText);
  const GLMmodel* m = fromFile.get();
  EXPECT_EQ(m->vertexcount, GLuint(side * side));
  EXPECT_EQ(m->trianglecount, GLuint(2 * (side - 1) * (side - 1)));
  EXPECT_EQ(m->groupcount, 4u);
  EXPECT_EQ(vertex(m, side * side)[0], 699.004893f);
  EXPECT_EQ(corners(m->triangles[m->trianglecount - 1].normalidx),
            std::to_string(side * side - side - 1) + " " + std::to_string(side * side) + " " +
                std::to_string(side * side - 1));
  EXPECT_TRUE(dumpModel(m) == dumpModel(fromText.get()));
}

TEST(Files, FilesLongerThanTheCountingWindowReadAsFromMemory) {
  // A mapped file is read through a window of 256 KiB filled with pread
  // (here also one of 1 KiB, whose edges fall everywhere); what lies across
  // its edges (a group or library line, a face, a line that sends the count
  // back statement by statement, an error) must read as from memory, with
  // the same message and line.
  std::string head;
  for (int i = 0; head.size() < (size_t(300) << 10); i++)
    head += "v " + std::to_string(i % 97) + ".25 1." + std::to_string(i) +
            " -3\nvn 0 1 0\nvt 0.5 " + std::to_string(i % 10) + "\n";
  const std::string mtl = "newmtl red\nKd 1 0 0\n";
  const std::string tails[] = {
      "g " + std::string(300, 'a') + "\nmtllib m.mtl\nusemtl red\nf 1/1/1 2/2/2 3/3/3 4/4/4\n",
      "f 1 2 3\n  g indented\nf 3 2 1\n",
      "f 1/1/1 2/2/2\nf 1 2 3\n",
      "g x\nf 1 2 999999999\n",
      "f 1 2 3\nfoo bar\n",
  };
  TempDir dir;
  const std::string mtlPath = dir.write("m.mtl", mtl);
  for (size_t window : {size_t(0), size_t(1024)})
    for (const std::string& tail : tails)
      for (size_t cut : {size_t(0), (size_t(256) << 10) - 100, (size_t(256) << 10) - 7}) {
        // The tail's first line at `cut`, or right after the head.
        std::string text = head.substr(0, cut ? head.rfind('\n', cut) + 1 : head.size());
        text += tail + head.substr(text.size());
        const std::string path = dir.write("window.obj", text);
        char error[512] = "";
        setReadWindow(window);
        Model fromFile(glmTryReadOBJ(path.c_str(), error, sizeof error));
        setReadWindow(0);
        Read fromText = readText(text, {{mtlPath, mtl}}, path.c_str());
        ASSERT_EQ(bool(fromFile), bool(fromText.model)) << error << fromText.error;
        if (fromFile)
          EXPECT_TRUE(dumpModel(fromFile.get()) == dumpModel(fromText.model.get())) << tail;
        else
          EXPECT_EQ(error, fromText.error);
      }
}

TEST(Files, RunsOfLikeLinesReadAcrossTheWindowsEdges) {
  // Thousands of v, vt, vn and f lines in a row: a run of them goes on from
  // one window to the next. A file whose count by lines falls short (two
  // statements on one line) runs out of room in the middle of a run, at
  // the edge of one window or another.
  for (bool shortCount : {false, true}) {
    std::string text;
    for (int i = 0; i < 3000; i++) {
      const std::string x = std::to_string(i % 89) + "." + std::to_string(i);
      text += "v " + x + " -" + x + " 0.5\n";
      if (shortCount && i == 1500) text += "v 1 2 3 v 4 5 6\n";
    }
    for (int i = 0; i < 3000; i++) text += "vt 0." + std::to_string(i) + " 1\n";
    for (int i = 0; i < 3000; i++) text += "vn 0 1 " + std::to_string(i % 7) + "\n";
    for (int i = 1; i + 2 < 3000; i++) {
      const std::string a = std::to_string(i), b = std::to_string(i + 1), c = std::to_string(i + 2);
      text += "f " + a + "/" + a + "/" + a + " " + b + "/" + b + "/" + b + " " + c + "/" + c + "/" +
              c + (i % 3 ? " 1/1/1\n" : "\n");
    }
    TempDir dir;
    const std::string path = dir.write("runs.obj", text);
    Read fromText = readText(text, {}, path.c_str());
    ASSERT_TRUE(fromText.model) << fromText.error;
    std::vector<size_t> windows = {1024, 4096};
    for (size_t window = 768; window < 800; window++) windows.push_back(window);
    for (size_t window : windows) {
      char error[512] = "";
      setReadWindow(window);
      Model fromFile(glmTryReadOBJ(path.c_str(), error, sizeof error));
      setReadWindow(0);
      ASSERT_TRUE(fromFile) << error;
      EXPECT_EQ(fromFile->vertexcount, 3000u + 2 * shortCount);
      EXPECT_TRUE(dumpModel(fromFile.get()) == dumpModel(fromText.model.get())) << window;
    }
  }
}

}  // namespace
