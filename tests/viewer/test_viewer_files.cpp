// The files the viewer reads and writes itself: ramps by the checked rule
// and their spreading over the texels, and pictures saved whole or not at
// all.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ramp.h"
#include "save_file.h"
#include "support/model_builder.h"

using namespace model_builder;

namespace {

// The first channel of every texel.
std::vector<float> levels(const float texels[kRampSize][3]) {
  std::vector<float> v;
  for (int i = 0; i < kRampSize; ++i) {
    EXPECT_EQ(texels[i][0], texels[i][1]);
    EXPECT_EQ(texels[i][0], texels[i][2]);
    v.push_back(texels[i][0]);
  }
  return v;
}

TEST(CheckedRamp, SpreadsNValuesAsNEqualBands) {
  for (size_t n : {1u, 2u, 3u, 4u, 5u, 7u, 31u, 32u}) {
    std::vector<float> values;
    for (size_t k = 0; k < n; ++k) values.push_back(float(k + 1) / 32);
    float texels[kRampSize][3];
    spreadRamp(values, texels);
    std::vector<float> got = levels(texels);
    for (int i = 0; i < kRampSize; ++i)
      EXPECT_EQ(got[i], values[i * n / kRampSize]) << n << " " << i;
    // Every value shows, in bands that differ by at most one texel.
    std::vector<int> width(n, 0);
    for (float level : got) ++width[size_t(level * 32 + 0.5f) - 1];
    for (int w : width) EXPECT_TRUE(w == int(32 / n) || w == int(32 / n) + 1) << n;
  }
}

TEST(CheckedRamp, ReadsOneValuePerLineAndNamesTheLineThatIsWrong) {
  std::string dir = scratchDir();
  struct Case {
    const char* text;
    std::vector<float> values;  // read; empty when refused
    const char* error;          // after "FILE"
  };
  const Case cases[] = {
      {"0.25\n0.5\n0.75\n1\n", {0.25f, 0.5f, 0.75f, 1}, ""},
      {"\xEF\xBB\xBF 0 \r\n\n  .5e0\t\r\n\n", {0, 0.5f}, ""},  // mark, blanks, CRLF
      {"1", {1}, ""},
      {"0.2\n0.5 middle\n", {}, ":2: not a number from 0 to 1"},
      {"0.2\n\nword\n", {}, ":3: not a number from 0 to 1"},
      {"1.5\n", {}, ":1: not a number from 0 to 1"},
      {"-0.1\n", {}, ":1: not a number from 0 to 1"},
      {"0x0.8\n", {}, ":1: not a number from 0 to 1"},
      {"nan\n", {}, ":1: not a number from 0 to 1"},
      {"0.5\n\x8f\x01\n", {}, ":2: not a number from 0 to 1"},
      {"", {}, ": no values (one number from 0 to 1 per line)"},
      {"\n \n", {}, ": no values (one number from 0 to 1 per line)"},
  };
  for (const Case& c : cases) {
    std::string file = dir + "ramp.txt";
    writeFile(file, c.text);
    float texels[kRampSize][3] = {{7, 7, 7}};
    std::string error;
    bool read = readCheckedRamp(file.c_str(), texels, error);
    EXPECT_EQ(read, !c.values.empty()) << c.text;
    if (read) {
      float expected[kRampSize][3];
      spreadRamp(c.values, expected);
      EXPECT_EQ(levels(texels), levels(expected)) << c.text;
    } else {
      EXPECT_EQ(error, file + c.error) << c.text;
      EXPECT_EQ(texels[0][0], 7) << "texels changed by a refused ramp";
    }
  }
  // 32 values are fine, a 33rd is one too many.
  std::string many;
  for (int i = 0; i < 33; ++i) many += "0.5\n";
  writeFile(dir + "many.txt", many);
  float texels[kRampSize][3];
  std::string error;
  EXPECT_FALSE(readCheckedRamp((dir + "many.txt").c_str(), texels, error));
  EXPECT_EQ(error, dir + "many.txt:33: more than 32 values");
  writeFile(dir + "many.txt", many.substr(4));
  EXPECT_TRUE(readCheckedRamp((dir + "many.txt").c_str(), texels, error));
  // A missing file, a folder.
  for (std::string file : {dir + "none.txt", dir}) {
    EXPECT_FALSE(readCheckedRamp(file.c_str(), texels, error));
    EXPECT_EQ(error, file + ": can't open shading ramp file");
  }
}

std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  DIR* d = opendir(dir.c_str());
  for (dirent* e; d && (e = readdir(d));)
    if (e->d_name[0] != '.' || (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")))
      names.insert(e->d_name);
  if (d) closedir(d);
  return names;
}

TEST(SaveFile, ReplacesTheFileWholeAndKeepsItsMode) {
  std::string dir = scratchDir(), error;
  ASSERT_TRUE(saveFile(dir + "x.png", "first", 5, error)) << error;
  EXPECT_EQ(readFile(dir + "x.png"), "first");
  struct stat st;
  ASSERT_EQ(stat((dir + "x.png").c_str(), &st), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
  ASSERT_EQ(chmod((dir + "x.png").c_str(), 0640), 0);
  std::string big(1 << 20, 'b');
  ASSERT_TRUE(saveFile(dir + "x.png", big.data(), big.size(), error)) << error;
  EXPECT_EQ(readFile(dir + "x.png"), big);
  ASSERT_EQ(stat((dir + "x.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(namesIn(dir), std::set<std::string>{"x.png"});
  // A name without a folder goes to the working directory.
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  EXPECT_TRUE(saveFile("y.png", "y", 1, error)) << error;
  ASSERT_EQ(chdir(here), 0);
  EXPECT_EQ(readFile(dir + "y.png"), "y");
}

TEST(SaveFile, AFailureLeavesTheEarlierFileAsItWasAndNothingElse) {
  std::string dir = scratchDir(), error;
  writeFile(dir + "x.png", "earlier");
  // A missing folder, a folder in the way of the name.
  EXPECT_FALSE(saveFile(dir + "no/x.png", "new", 3, error));
  EXPECT_EQ(error, dir + "no/x.png: No such file or directory");
  ASSERT_EQ(mkdir((dir + "folder").c_str(), 0755), 0);
  EXPECT_FALSE(saveFile(dir + "folder", "new", 3, error));
  EXPECT_EQ(error, dir + "folder: Is a directory");

  // The disk fills up half way: a file size limit fails the write as a full
  // disk would (the limit's signal ignored, as a full disk sends none).
  std::string picture(64 << 10, 'p');
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limit = old;
  limit.rlim_cur = 16 << 10;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  bool saved = saveFile(dir + "x.png", picture.data(), picture.size(), error);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(saved);
  EXPECT_EQ(error, dir + "x.png: File too large");
  EXPECT_EQ(readFile(dir + "x.png"), "earlier");
  EXPECT_EQ(namesIn(dir), (std::set<std::string>{"folder", "x.png"}));
}

}  // namespace
