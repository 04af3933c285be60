// What the viewer reads from its command line and writes as messages: the
// options and their values, escaped file text, and the library's warnings
// passed on without repeats.
#include <gtest/gtest.h>

#include <glm.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "messages.h"
#include "support/model_builder.h"

namespace {

TEST(Printable, EscapesBytesThatAreNotPrintableAndKeepsText) {
  EXPECT_EQ(printable("cow.obj:3: unknown token \"vp\""), "cow.obj:3: unknown token \"vp\"");
  EXPECT_EQ(printable("a\x8f\x01\tb\x7f"), "a\\x8f\\x01\\x09b\\x7f");
  EXPECT_EQ(printable(std::string("nul\0here", 8)), "nul\\x00here");
  // Well-formed UTF-8 is text; broken, overlong or surrogate forms and C1
  // controls are not.
  EXPECT_EQ(printable("mod\xc3\xa8le \xe2\x80\x93 \xf0\x9f\x90\x84"),
            "mod\xc3\xa8le \xe2\x80\x93 \xf0\x9f\x90\x84");
  EXPECT_EQ(printable("\xc3"), "\\xc3");
  EXPECT_EQ(printable("\xc3x"), "\\xc3x");
  EXPECT_EQ(printable("\xc0\xaf"), "\\xc0\\xaf");
  EXPECT_EQ(printable("\xed\xa0\x80"), "\\xed\\xa0\\x80");
  EXPECT_EQ(printable("\xc2\x85"), "\\xc2\\x85");
  EXPECT_EQ(printable("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
  // Escaping what is escaped already changes nothing.
  std::string once = printable("x\x8fy\n");
  EXPECT_EQ(printable(once), once);
}

TEST(MessageRelay, PassesEachWarningOnOnceEscapedAndCountsItsRepeats) {
  GLMmodel* m = model_builder::cube();
  model_builder::addMaterial(m, "default");
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  {
    MessageRelay relay;
    // The library's own warnings reach it: a material missing, named
    // again and again, is reported once with the count of the other times.
    for (const char* name : {"caf\x8f", "caf\x8f", "blue", "caf\x8f", "blue"})
      glmFindMaterial(m, name);
    for (int i = 0; i < 3; ++i) relay.take("glmVertexNormals(): vertex w/o a triangle");
    relay.take("other");
    for (int i = 0; i < 2; ++i) relay.take("last");
  }
  // Once it ends the library prints again.
  glmFindMaterial(m, "red");
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "glmFindMaterial():  can't find material \"caf\\x8f\".\n"
            "(2 more like it)\n"
            "glmFindMaterial():  can't find material \"blue\".\n"
            "(1 more like it)\n"
            "glmVertexNormals(): vertex w/o a triangle\n"
            "(2 more like it)\n"
            "other\n"
            "last\n"
            "(1 more like it)\n");
  EXPECT_EQ(out, "glmFindMaterial():  can't find material \"red\".\n");
  glmDelete(m);
}

TEST(MessageRelay, AMissingLibraryIsOneLineThatExplainsTheMaterialsNotFound) {
  testing::internal::CaptureStderr();
  {
    MessageRelay relay;
    relay.take("m.obj:3: can't open material library \"gone\x8f.mtl\" (No such file or directory)");
    relay.take("glmFindMaterial():  can't find material \"red\".");
    relay.take("glmFindMaterial():  can't find material \"blue\".");
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "m.obj:3: can't open material library \"gone\\x8f.mtl\" (No such file or directory); "
            "drawing with the default material\n");
}

// The parsed command line of `args` (after the program's name).
commandLine parse(std::vector<std::string> args) {
  static std::vector<std::string> kept;
  kept = args;
  kept.insert(kept.begin(), "celshade");
  static std::vector<char*> argv;
  argv.clear();
  for (std::string& a : kept) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return parseCommandLine(int(argv.size()) - 1, argv.data());
}

TEST(CommandLineOptions, ReadTheStartViewStillSizeAndBackground) {
  commandLine line = parse({});
  EXPECT_EQ(line.width, 800);
  EXPECT_EQ(line.height, 600);
  EXPECT_EQ(line.yaw, 0);
  EXPECT_EQ(line.pitch, 0);
  EXPECT_EQ(line.up, UpAxis::y);
  EXPECT_EQ(line.turntable, 0);
  EXPECT_FALSE(line.background.transparent);

  line = parse({"--size", "1920x16", "--turn", "-30.5", "--up", "-z", "--background", "#FF8000",
                "--snapshot", "s.png", "--turntable", "24", "a.obj", "--", "--b.obj"});
  EXPECT_EQ(line.width, 1920);
  EXPECT_EQ(line.height, 16);
  EXPECT_EQ(line.yaw, -30.5f);
  EXPECT_EQ(line.pitch, 0);
  EXPECT_EQ(line.up, UpAxis::minusZ);
  EXPECT_EQ(line.turntable, 24);
  EXPECT_EQ(line.background.r, 1.0f);
  EXPECT_EQ(line.background.g, 128 / 255.0f);
  EXPECT_EQ(line.background.b, 0.0f);
  ASSERT_EQ(line.models.size(), 2u);
  EXPECT_STREQ(line.models[1], "--b.obj");

  line = parse({"--turn", "90,-12.25", "--up", "x", "--background", "transparent", "a.obj"});
  EXPECT_EQ(line.yaw, 90);
  EXPECT_EQ(line.pitch, -12.25f);
  EXPECT_EQ(line.up, UpAxis::x);
  EXPECT_TRUE(line.background.transparent);
  EXPECT_EQ(parse({"--background", "0a0B0c", "a.obj"}).background.b, 12 / 255.0f);
}

TEST(CommandLineOptions, ValuesOutOfRangeEndWithALineSayingWhatIsWrongAndStatusTwo) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--size", "15x100", "a.obj"},
       "--size takes WIDTHxHEIGHT, each from 16 to 8192, not \"15x100\""},
      {{"--size", "800x8193", "a.obj"}, "not \"800x8193\""},
      {{"--size", "800x600px", "a.obj"}, "not \"800x600px\""},
      {{"--turn", "left", "a.obj"}, "--turn takes YAW or YAW,PITCH in degrees, not \"left\""},
      {{"--turn", "nan", "a.obj"}, "not \"nan\""},
      {{"--up", "+w", "a.obj"}, "--up takes x, y, z, -x, -y or -z, not \"+w\""},
      {{"--turntable", "0", "--snapshot", "s.png", "a.obj"}, "from 1 to 10000, not \"0\""},
      {{"--turntable", "12", "a.obj"}, "--turntable needs --snapshot FILE.png"},
      {{"--background", "#gg0000", "a.obj"},
       "--background takes #rrggbb or transparent, not \"#gg0000\""},
      {{"--background", "\x8f", "a.obj"}, "not \"\\\\x8f\""},
      {{"--turn", "30"}, "--turn is for model files given on the command line"},
      {{"--size", "100x100", "--snapshot", "s.png"},
       "--size is for model files given on the command line"},
  };
  for (const auto& c : cases) {
    std::string expected = std::string("celshade: .*") + c.says;
    for (char& ch : expected)
      if (ch == '(' || ch == ')' || ch == '+' || ch == '.' || ch == '#') ch = '.';
    EXPECT_EXIT(parse(c.args), testing::ExitedWithCode(2), expected + "\nusage: celshade ")
        << c.args[0] << " " << c.args[1];
  }
}

}  // namespace
