// The viewer's command line with no display at all (DISPLAY unset, no Xvfb):
// usage and refused files with their messages and exit statuses, the ramp it
// finds, and stills of your own models drawn offscreen.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "test_models.h"
#include "viewer_session.h"

using namespace celshade_test;

namespace {

const std::string kUsage =
    "usage: celshade [--ramp FILE] [--keys KEYS] [--snapshot FILE.png] [--size WxH]\n"
    "                [--turn YAW[,PITCH]] [--up AXIS] [--turntable N] [--background COLOR]\n"
    "                [MODEL ...]\n";
const uint8_t kBackground[3] = {158, 184, 209};  // runs with model files: light blue

struct Outcome {
  int status;
  std::string out, err;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool isBackground(const uint8_t* p) { return memcmp(p, kBackground, 3) == 0; }

// Where the picture is not background: the box around it and the columns
// that hold any of it.
struct Extent {
  int left = -1, right = -1, top = -1, bottom = -1;
  std::vector<bool> columns;
};

Extent extent(const Image& image) {
  Extent e;
  e.columns.assign(image.width, false);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      if (isBackground(image.at(x, y))) continue;
      e.columns[x] = true;
      if (e.top < 0) e.top = y;
      e.bottom = y;
      e.left = e.left < 0 ? x : std::min(e.left, x);
      e.right = std::max(e.right, x);
    }
  return e;
}

// Grey pixels of columns [x0, x1) by level.
std::map<int, long> greyLevels(const Image& image, int x0, int x1) {
  std::map<int, long> levels;
  for (int y = 0; y < image.height; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = image.at(x, y);
      if (!isBackground(p) && p[0] == p[1] && p[1] == p[2]) ++levels[p[0]];
    }
  return levels;
}

// Levels that cover at least 2 % of the pixels counted.
std::set<int> mainLevels(const std::map<int, long>& levels) {
  long total = 0;
  for (const auto& [level, count] : levels) total += count;
  std::set<int> main;
  for (const auto& [level, count] : levels)
    if (count * 50 >= total) main.insert(level);
  return main;
}

// The level a ramp value v gives on the default material's grey 0.8.
int onDefaultGrey(double v) { return int(0.8 * v * 255 + 0.5); }

bool nearAll(const std::set<int>& got, const std::set<int>& want) {
  if (got.size() != want.size()) return false;
  auto g = got.begin();
  for (int w : want)
    if (std::abs(*g++ - w) > 1) return false;
  return true;
}

// Lines the library may print on standard error for a model it is given
// normals for: vertices that no triangle uses, the first shown and the rest
// counted.
std::string withoutUnusedVertexWarnings(std::string err) {
  const std::string warning = "glmVertexNormals(): vertex w/o a triangle\n";
  for (size_t at; (at = err.find(warning)) != std::string::npos;) err.erase(at, warning.size());
  for (size_t at; (at = err.find(" more like it)\n")) != std::string::npos;) {
    size_t start = err.rfind('(', at);
    err.erase(start, at + 15 - start);
  }
  return err;
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/celshade-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "chmod -R u+rwx '" + dir_ + "' && rm -rf '" + dir_ + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void write(const std::string& name, const std::string& text) {
    std::ofstream(path(name), std::ios::binary) << text;
  }

  // Runs the viewer in the folder with DISPLAY unset.
  Outcome run(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"env", "-u", "DISPLAY", CELSHADE_VIEWER};
    command.insert(command.end(), args.begin(), args.end());
    Process process(command, dir_, {withoutLeakChecks()});
    int status = process.waitForExit(90);
    return {status, process.out(), process.err()};
  }

  // Draws a still of `args` into shot.png and reads it; the run prints no
  // warning.
  Image still(const std::vector<std::string>& args) {
    Outcome r;
    Image image = drawn(args, r);
    EXPECT_EQ(withoutUnusedVertexWarnings(r.err), "");
    return image;
  }

  // Draws a still of `args`, whatever the run prints, into shot.png and
  // reads it; the run in `r`, which must end with status 0.
  Image drawn(std::vector<std::string> args, Outcome& r) {
    args.insert(args.begin(), {"--snapshot", "shot.png"});
    unlink(path("shot.png").c_str());
    r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    Image image;
    EXPECT_TRUE(image.load(path("shot.png")));
    return image;
  }

  std::string dir_;
};

TEST_F(CommandLine, HelpPrintsTheUsageAndBadUsageEndsWithStatusTwo) {
  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.compare(0, kUsage.size(), kUsage), 0) << help.out;
  EXPECT_NE(help.out.find("--snapshot FILE.png"), std::string::npos);
  EXPECT_EQ(help.err, "");

  ASSERT_TRUE(writeBareEllipsoid(path("m.obj"), 1, 1, 1, 8, 6));
  std::vector<std::string> ten(10, "m.obj");
  std::vector<std::string> cases[] = {{"--frob"}, {"-x", "m.obj"}, {"m.obj", "--keys"},
                                      {"--ramp"}, {"--snapshot"},  ten};
  for (const auto& args : cases) {
    Outcome r = run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.err, kUsage) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
  }
  // Nine files are fine; "--" lets a file name start with a dash.
  std::vector<std::string> nine(9, "m.obj");
  nine.insert(nine.begin(), {"--snapshot", "nine.png", "--keys", "9"});
  EXPECT_EQ(run(nine).status, 0);
  ASSERT_TRUE(writeBareEllipsoid(path("-m.obj"), 1, 1, 1, 8, 6));
  EXPECT_EQ(run({"--snapshot", "dash.png", "--", "-m.obj"}).status, 0);
}

TEST_F(CommandLine, AFileThatCannotBeShownGivesOneLineNamingItAndStatusOne) {
  ASSERT_TRUE(writeBareEllipsoid(path("good.obj"), 1, 1, 1, 8, 6));
  write("index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
  write("token.obj", "v 0 0 0\nvp 1 0 0\n");
  write("flat.obj", "# points only\nv 0 0 0\nv 1 0 0\nv 0 1 0\n");
  ASSERT_EQ(mkdir(path("folder.obj").c_str(), 0755), 0);
  struct Case {
    std::vector<std::string> files;
    std::string err;  // the whole of standard error
  };
  const Case cases[] = {
      {{"missing.obj"}, "missing.obj: can't open data file\n"},
      {{"folder.obj"}, "folder.obj: can't open data file\n"},
      {{"index.obj"}, "index.obj:4: face index out of range: `f 1 2 9`\n"},
      {{"--strict", "token.obj"}, "token.obj:2: unknown token \"vp\"\n"},
      {{"flat.obj"}, "flat.obj: no faces to draw\n"},
      // Every file is read before anything is shown: a bad last one stops
      // the run as a bad first one does.
      {{"good.obj", "good.obj", "flat.obj"}, "flat.obj: no faces to draw\n"},
  };
  for (const Case& c : cases) {
    for (bool snapshot : {false, true}) {
      std::vector<std::string> args = c.files;
      if (snapshot) args.insert(args.begin(), {"--snapshot", "never.png"});
      Outcome r = run(args);
      EXPECT_EQ(r.status, 1) << c.err;
      // No window was tried: GLUT would complain about the missing display.
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(r.out, "") << c.err;
    }
    EXPECT_NE(access(path("never.png").c_str(), F_OK), 0) << c.err;
  }
  // Read permission only means something to a user other than root.
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(path("good.obj").c_str(), 0), 0);
    Outcome r = run({"good.obj"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "good.obj: can't open data file\n");
  }
}

TEST_F(CommandLine, ARampGivenOrFoundIsCheckedAndABadOneEndsTheRunNamingTheLine) {
  ASSERT_TRUE(writeBareEllipsoid(path("m.obj"), 1, 1, 1, 8, 6));
  write("word.txt", "0.2\n0.5 middle\n");
  Outcome r = run({"--ramp", "word.txt", "--snapshot", "never.png", "m.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "word.txt:2: not a number from 0 to 1\n");
  EXPECT_EQ(r.out, "");
  // A Shader.txt found in the working folder is checked too.
  write("Shader.txt", "1\n\n1.5\n");
  r = run({"--snapshot", "never.png", "m.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Shader.txt:3: not a number from 0 to 1\n");
  EXPECT_NE(access(path("never.png").c_str(), F_OK), 0);
}

TEST_F(CommandLine, ASnapshotThatCannotBeWrittenSaysWhyAndKeepsTheEarlierPicture) {
  ASSERT_TRUE(writeBareEllipsoid(path("m.obj"), 1, 1, 1, 8, 6));
  Outcome r = run({"--snapshot", "no/such/folder/shot.png", "m.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(withoutUnusedVertexWarnings(r.err),
            "no/such/folder/shot.png: No such file or directory\n");

  // The disk fills up while the picture is written: a file size limit of
  // 1 KiB fails the write as a full disk would (its signal ignored, as a
  // full disk sends none).
  write("shot.png", "the earlier picture");
  std::string viewer = CELSHADE_VIEWER;
  Process full(
      {"sh", "-c",
       "trap '' XFSZ; ulimit -f 1; exec env -u DISPLAY '" + viewer + "' --snapshot shot.png m.obj"},
      dir_, {withoutLeakChecks()});
  EXPECT_EQ(full.waitForExit(60), 1);
  EXPECT_EQ(withoutUnusedVertexWarnings(full.err()), "shot.png: File too large\n");
  EXPECT_EQ(readFile(path("shot.png")), "the earlier picture");
  // Nothing else is left behind.
  DIR* d = opendir(dir_.c_str());
  std::set<std::string> names;
  for (dirent* e; (e = readdir(d));) names.insert(e->d_name);
  closedir(d);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "m.obj", "shot.png"}));
}

TEST_F(CommandLine, UnusedVerticesOfAModelGivenNormalsWarnOnceWithACount) {
  write("loose.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 5 5\nv 6 6 6\nv 7 7 7\nf 1 2 3\n");
  Outcome r = run({"--snapshot", "shot.png", "loose.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "glmVertexNormals(): vertex w/o a triangle\n(2 more like it)\n");
}

TEST_F(CommandLine, AModelWithoutNormalsOrMaterialsIsDrawnSmoothAndBandedWithNoDisplay) {
  // Vertices and faces only; a ramp of four lines, spread as four bands.
  ASSERT_TRUE(writeBareEllipsoid(path("ball.obj"), 1, 1, 1, 48, 32));
  ASSERT_TRUE(writeRamp(dir_, {"0.2", "0.4", "0.6", "0.9"}));
  std::string before = readFile(path("ball.obj"));

  Image shot = still({"ball.obj"});
  ASSERT_EQ(shot.width, 800);
  ASSERT_EQ(shot.height, 600);
  // Right: the smoothed normals give the bands in rings, grey on grey.
  std::set<int> right = mainLevels(greyLevels(shot, 400, 800));
  right.erase(0);  // the outline
  EXPECT_TRUE(nearAll(
      right, {onDefaultGrey(0.2), onDefaultGrey(0.4), onDefaultGrey(0.6), onDefaultGrey(0.9)}))
      << ::testing::PrintToString(right);
  // Left: lit, shaded smoothly through many levels, not black.
  std::map<int, long> left = greyLevels(shot, 0, 400);
  EXPECT_GT(left.size(), 60u);
  long dark = 0, all = 0;
  for (const auto& [level, count] : left) (level < 40 ? dark : all) += count;
  EXPECT_LT(dark, all / 10);

  // Nothing is written back: the model is as it was, and the folder holds
  // only what the test put there and the picture.
  EXPECT_EQ(readFile(path("ball.obj")), before);
  std::set<std::string> names;
  DIR* d = opendir(dir_.c_str());
  for (dirent* e; (e = readdir(d));) names.insert(e->d_name);
  closedir(d);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "ball.obj", "Shader.txt", "shot.png"}));
}

TEST_F(CommandLine, WithoutShaderTxtTheInstalledRampIsUsedFromAnyFolder) {
  ASSERT_TRUE(writeBareEllipsoid(path("ball.obj"), 1, 1, 1, 48, 32));
  // data/Shader.txt: 0.35, 0.6, 0.85 and 1.0, every band apart from the
  // background.
  std::set<int> right = mainLevels(greyLevels(still({"ball.obj"}), 400, 800));
  right.erase(0);
  EXPECT_TRUE(nearAll(
      right, {onDefaultGrey(0.35), onDefaultGrey(0.6), onDefaultGrey(0.85), onDefaultGrey(1.0)}))
      << ::testing::PrintToString(right);

  // A Shader.txt in the working folder comes first, --ramp before both.
  ASSERT_TRUE(writeRamp(dir_, {"0.5"}));
  right = mainLevels(greyLevels(still({"ball.obj"}), 400, 800));
  right.erase(0);
  EXPECT_TRUE(nearAll(right, {onDefaultGrey(0.5)})) << ::testing::PrintToString(right);
  write("other.txt", "0.3\n");
  right = mainLevels(greyLevels(still({"--ramp", "other.txt", "ball.obj"}), 400, 800));
  right.erase(0);
  EXPECT_TRUE(nearAll(right, {onDefaultGrey(0.3)})) << ::testing::PrintToString(right);
}

TEST_F(CommandLine, EveryShapeIsSeenWholeAndUndistortedWithAMargin) {
  struct Shape {
    const char* name;
    float rx, ry, rz;
  };
  const Shape shapes[] = {{"round", 1, 1, 1},      {"tall", 0.1f, 1, 0.1f}, {"wide", 1, 0.1f, 0.1f},
                          {"deep", 0.1f, 0.1f, 1}, {"flat", 1, 1, 0.05f},   {"slab", 1, 0.05f, 1}};
  for (const Shape& s : shapes) {
    std::string file = std::string(s.name) + ".obj";
    ASSERT_TRUE(writeBareEllipsoid(path(file), s.rx, s.ry, s.rz, 48, 32));
    // The view is framed for every turn about the vertical axis: seen from
    // the front, and from the side and above, each is whole.
    bool fills = false;
    for (const char* turn : {"0", "90,30"}) {
      Image shot = still({"--turn", turn, file});
      Extent e = extent(shot);
      ASSERT_GE(e.left, 0) << s.name << ": nothing drawn";
      // Whole, with a margin of at least 5 % of the picture on every side.
      EXPECT_GE(e.left, 40) << s.name << " " << turn;
      EXPECT_LE(e.right, 760) << s.name << " " << turn;
      EXPECT_GE(e.top, 30) << s.name << " " << turn;
      EXPECT_LE(e.bottom, 570) << s.name << " " << turn;
      // And not lost in it: seen across its length, the pair fills most of
      // the width or the height.
      fills = fills || e.right - e.left > 560 || e.bottom - e.top > 420;
      // Two copies, apart: some column between them is all background.
      int firstGap =
          int(std::find(e.columns.begin() + e.left, e.columns.end(), false) - e.columns.begin());
      EXPECT_LT(firstGap, e.right) << s.name << " " << turn;
    }
    EXPECT_TRUE(fills) << s.name;
  }

  // The round one is as wide as it is high, but for the few per cent that
  // perspective stretches a ball away from the middle: the projection uses
  // the picture's aspect ratio, not 1.0 (which would make it 4:3).
  Image round = still({"round.obj"});
  Image right(round);
  Extent whole = extent(round);
  int middle = (whole.left + whole.right) / 2;
  for (int y = 0; y < right.height; ++y)
    for (int x = 0; x < middle; ++x)
      memcpy(&right.rgb[3 * ((size_t)y * right.width + x)], kBackground, 3);
  Extent copy = extent(right);
  EXPECT_NEAR(double(copy.right - copy.left) / (copy.bottom - copy.top), 1.0, 0.04);
}

TEST_F(CommandLine, KeysPickTheNthFileFromItsOwnViewAndKeysBeyondChangeNothing) {
  ASSERT_TRUE(writeBareEllipsoid(path("ball.obj"), 1, 1, 1, 32, 24));
  ASSERT_TRUE(writeBareEllipsoid(path("tall.obj"), 0.2f, 1, 0.2f, 32, 24));
  Image first = still({"ball.obj", "tall.obj"});
  Image second = still({"tall.obj", "ball.obj"});
  EXPECT_LT(first.sameShare(second), 0.9);

  EXPECT_EQ(still({"--keys", "2", "ball.obj", "tall.obj"}), second);
  EXPECT_EQ(still({"--keys", "2ww1", "ball.obj", "tall.obj"}), first);
  EXPECT_EQ(still({"--keys", "3456789", "ball.obj", "tall.obj"}), first);
  // Zooming and moving start from the fitted view.
  Image moved = still({"--keys", "2wwd", "ball.obj", "tall.obj"});
  EXPECT_LT(moved.sameShare(second), 0.9);
}

TEST_F(CommandLine, KeyPSavesNumberedPicturesOfTheFrame) {
  ASSERT_TRUE(writeBareEllipsoid(path("ball.obj"), 1, 1, 1, 32, 24));
  write("celshade-001.png", "taken");
  Outcome r = run({"--keys", "p", "--snapshot", "shot.png", "ball.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "saved celshade-002.png\n");
  Image saved, shot;
  ASSERT_TRUE(saved.load(path("celshade-002.png")));
  ASSERT_TRUE(shot.load(path("shot.png")));
  EXPECT_EQ(saved, shot);
  EXPECT_EQ(readFile(path("celshade-001.png")), "taken");
}

// Share of the right copy's area (between its first and last pixel on each
// row) that has the background colour `bg`.
double holesInRightCopy(const Image& image, const uint8_t* bg) {
  long area = 0, holes = 0;
  for (int y = 0; y < image.height; ++y) {
    int first = -1, last = -1;
    for (int x = image.width / 2; x < image.width; ++x)
      if (memcmp(image.at(x, y), bg, 3) != 0) {
        if (first < 0) first = x;
        last = x;
      }
    for (int x = first; first >= 0 && x <= last; ++x) {
      ++area;
      holes += memcmp(image.at(x, y), bg, 3) == 0;
    }
  }
  return area ? double(holes) / area : 1;
}

TEST_F(CommandLine, TheDefaultMaterialsBandsStandOutFromTheBackground) {
  // The installed ramp's brightest band on the default grey is 0.8: on a
  // background of that grey the copy would be full of holes.
  ASSERT_TRUE(writeBareEllipsoid(path("ball.obj"), 1, 1, 1, 48, 32));
  Image shot = still({"ball.obj"});
  EXPECT_TRUE(isBackground(shot.at(0, 0)));
  EXPECT_LE(holesInRightCopy(shot, kBackground), 0.05);
  const uint8_t grey[3] = {204, 204, 204};
  EXPECT_GT(holesInRightCopy(still({"--background", "#cccccc", "ball.obj"}), grey), 0.05);
}

// Copies the OBJ file `from` to `to` with every vertex and normal changed by
// `vertex` and `normal`, written with all the digits of a float.
using Change = std::function<void(double&, double&, double&)>;
void rewrite(
    const std::string& from, const std::string& to, const Change& vertex,
    const Change& normal = [](double&, double&, double&) {}) {
  std::ifstream in(from);
  std::ofstream out(to);
  for (std::string line; std::getline(in, line);) {
    bool v = line.rfind("v ", 0) == 0, vn = line.rfind("vn ", 0) == 0;
    double x, y, z;
    if ((v || vn) && sscanf(line.c_str() + (v ? 2 : 3), "%lf %lf %lf", &x, &y, &z) == 3) {
      (v ? vertex : normal)(x, y, z);
      char text[128];
      snprintf(text, sizeof text, "%s %.9g %.9g %.9g", v ? "v" : "vn", x, y, z);
      line = text;
    }
    out << line << '\n';
  }
}

// An egg in three colours (red on top, green on its +x side, blue on its -x
// side), with normals and a material library: dir/egg.obj and egg.mtl.
void writeEgg(const std::string& dir) {
  ASSERT_GT(writeEllipsoid(dir, "egg", 0.4f, 1.0f, 0.6f, 48, 32,
                           {{"red", 1, 0, 0}, {"green", 0, 1, 0}, {"blue", 0, 0, 1}},
                           [](float x, float y, float) { return y > 0.3f ? 0
                                                                : x >= 0 ? 1
                                                                         : 2; }),
            0);
}

TEST_F(CommandLine, WhereAtWhatSizeAndWithWhatNormalLengthsAModelComesDoesNotChangeItsPicture) {
  writeEgg(dir_);
  Image home = still({"egg.obj"});
  // Moved a million units and made a thousand times larger; a hundred
  // thousand units away; its normals a hundredth and a hundred long.
  rewrite(path("egg.obj"), path("far.obj"), [](double& x, double& y, double& z) {
    x = x * 1000 + 1e6, y = y * 1000 - 1e6, z = z * 1000 + 1e6;
  });
  rewrite(path("egg.obj"), path("away.obj"),
          [](double& x, double& y, double& z) { x += 1e5, y += 1e5, z -= 1e5; });
  const Change same = [](double&, double&, double&) {};
  rewrite(path("egg.obj"), path("short.obj"), same,
          [](double& x, double& y, double& z) { x *= 0.01, y *= 0.01, z *= 0.01; });
  rewrite(path("egg.obj"), path("long.obj"), same,
          [](double& x, double& y, double& z) { x *= 100, y *= 100, z *= 100; });
  for (const char* file : {"far.obj", "short.obj", "long.obj"})
    EXPECT_GE(still({file}).sameShare(home), 0.995) << file;
  // Far from the origin at its own size the file's floats hold its shape
  // only to a few thousandths: it is seen as large and in the same place.
  Extent e = extent(home), away = extent(still({"away.obj"}));
  EXPECT_GT(e.bottom - e.top, 420);
  for (auto [a, b] : {std::pair{e.left, away.left},
                      {e.right, away.right},
                      {e.top, away.top},
                      {e.bottom, away.bottom}})
    EXPECT_NEAR(a, b, 3);
}

TEST_F(CommandLine, TurnUpAndTurntableShowWhatTurnedAndZUpFilesShow) {
  writeEgg(dir_);
  // Turned 90 degrees as a drag to the right turns it: its front (+z) to
  // the right (+x), its green side to the back.
  rewrite(
      path("egg.obj"), path("turned.obj"),
      [](double& x, double&, double& z) {
        double t = x;
        x = z, z = -t;
      },
      [](double& x, double&, double& z) {
        double t = x;
        x = z, z = -t;
      });
  Image turned = still({"turned.obj"});
  Image byTurn = still({"--turn", "90", "egg.obj"});
  EXPECT_LT(turned.sameShare(still({"egg.obj"})), 0.95);
  EXPECT_GE(byTurn.sameShare(turned), 0.995);

  // Exported Z-up: +z up, the front towards -y. Shown upright with --up z,
  // exactly; and on its back without.
  const Change zUp = [](double&, double& y, double& z) {
    double t = y;
    y = -z, z = t;
  };
  rewrite(path("egg.obj"), path("zup.obj"), zUp, zUp);
  Image upright = still({"--turn", "30,20", "egg.obj"});
  EXPECT_EQ(still({"--turn", "30,20", "--up", "z", "zup.obj"}), upright);
  EXPECT_LT(still({"--turn", "30,20", "zup.obj"}).sameShare(upright), 0.9);

  // A turntable of four from 30 degrees: the stills --turn 30, 120, 210 and
  // 300 give, in FILE-001.png to FILE-004.png.
  Outcome r = run({"--snapshot", "spin.png", "--turntable", "4", "--turn", "30,20", "egg.obj"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (int k = 1; k <= 4; ++k) {
    Image frame;
    ASSERT_TRUE(frame.load(path("spin-00" + std::to_string(k) + ".png"))) << k;
    std::string yaw = std::to_string(30 + 90 * (k - 1)) + ",20";
    EXPECT_EQ(frame, still({"--turn", yaw, "egg.obj"})) << k;
  }
  EXPECT_NE(access(path("spin.png").c_str(), F_OK), 0);
  EXPECT_NE(access(path("spin-005.png").c_str(), F_OK), 0);
}

TEST_F(CommandLine, SizeAndBackgroundShapeTheStill) {
  writeEgg(dir_);
  Image tall = still({"--size", "300x500", "--background", "#203040", "egg.obj"});
  ASSERT_EQ(tall.width, 300);
  ASSERT_EQ(tall.height, 500);
  const uint8_t dark[3] = {0x20, 0x30, 0x40};
  EXPECT_EQ(memcmp(tall.at(0, 0), dark, 3), 0);
  EXPECT_EQ(memcmp(tall.at(299, 499), dark, 3), 0);
  // Both copies whole with a margin, the frame following the aspect.
  int left = 300, right = -1, top = 500, bottom = -1;
  for (int y = 0; y < 500; ++y)
    for (int x = 0; x < 300; ++x)
      if (memcmp(tall.at(x, y), dark, 3) != 0)
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
        bottom = std::max(bottom, y);
  EXPECT_GE(left, 15);
  EXPECT_LE(right, 285);
  EXPECT_GT(right - left, 200);
  EXPECT_GE(top, 25);
  EXPECT_LE(bottom, 475);

  // Transparent: alpha 0 around the copies, 255 on them.
  Outcome r = run({"--snapshot", "clear.png", "--background", "transparent", "egg.obj"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> alpha = Image::loadAlpha(path("clear.png"));
  ASSERT_EQ(alpha.size(), 800u * 600u);
  Image opaque = still({"egg.obj"});
  long wrong = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      // Away from the outline's soft edge: pixels whose neighbours agree.
      bool inside = !isBackground(opaque.at(x, y)), same = true;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          int nx = std::clamp(x + dx, 0, 799), ny = std::clamp(y + dy, 0, 599);
          same = same && !isBackground(opaque.at(nx, ny)) == inside;
        }
      if (same) wrong += alpha[size_t(y) * 800 + x] != (inside ? 255 : 0);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(alpha[0], 0);
}

TEST_F(CommandLine, AMissingMaterialLibraryIsOneWarningAndTheModelIsShown) {
  write("nolib.obj",
        "mtllib gone\x8f.mtl\nv -1 -1 0\nv 1 -1 0\nv 0 1 0\n"
        "usemtl red\nf 1 2 3\nusemtl blue\nf 1 2 3\nusemtl red\nf 1 2 3\n");
  Outcome r = run({"--snapshot", "shot.png", "nolib.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "nolib.obj:1: can't open material library \"gone\\x8f.mtl\" (No such file or "
            "directory); drawing with the default material\n");
  Image shot;
  ASSERT_TRUE(shot.load(path("shot.png")));
  EXPECT_GT(extent(shot).right - extent(shot).left, 300);

  // A library that is there but lacks a material: once per name (with a
  // count of the times it is named again in a row).
  write("lib.mtl", "newmtl red\nKd 1 0 0\n");
  write("nomat.obj",
        "mtllib lib.mtl\nv -1 -1 0\nv 1 -1 0\nv 0 1 0\n"
        "usemtl caf\x8f\nf 1 2 3\nusemtl red\nf 1 2 3\nusemtl caf\x8f\nf 1 2 3\n"
        "usemtl caf\x8f\nf 1 2 3\n");
  r = run({"--snapshot", "shot.png", "nomat.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "glmFindMaterial():  can't find material \"caf\\x8f\".\n(2 more like it)\n");
}

TEST_F(CommandLine, ReadsFilesAsOtherToolsWriteThemUnlessStrict) {
  write("skin.obj", "v -1 -1 0\nv 1 -1 0\nv 0 1 0\nvw 1 0.5\nvw 2 0.5\nf 1//1 2//1 3//1\n");
  Outcome r = run({"--snapshot", "shot.png", "skin.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "skin.obj: 2 \"vw\" statements skipped\n"
            "skin.obj:6: faces name normals, but the file has none: those indices are dropped\n");
  r = run({"--strict", "--snapshot", "shot.png", "skin.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "skin.obj:4: unknown token \"vw\"\n");
  EXPECT_NE(run({"--help"}).out.find("  --strict "), std::string::npos);
  r = run({"--strict"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "celshade: --strict is for model files given on the command line\n" + kUsage);
}

TEST_F(CommandLine, QInTheKeysStillWritesTheStill) {
  writeEgg(dir_);
  Image plain = still({"egg.obj"});
  // Keys after the q are not pressed.
  Image quit = still({"--keys", "qwww", "egg.obj"});
  EXPECT_EQ(quit, plain);
}

TEST_F(CommandLine, WithoutADisplayOrSnapshotItSaysSoInOneLine) {
  writeEgg(dir_);
  Outcome r = run({"egg.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "celshade: can't open a window: no X display (DISPLAY is not set); draw a still "
            "with --snapshot FILE.png, or run it under xvfb-run\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(CommandLine, AModelInAnotherFormatIsShownAsItsObjTwinOrRefusedWithTheReason) {
  ASSERT_TRUE(writeBareEllipsoid(path("ball.obj"), 1, 0.6f, 0.8f, 48, 32));
  ASSERT_TRUE(writeBareEllipsoidPly(path("ball.ply"), 1, 0.6f, 0.8f, 48, 32));
  write("noise.xyz", "nothing a reader knows\n");
#if CELSHADE_ASSIMP
  std::vector<std::string> ramp;
  for (const char* value : {"0.2", "0.4", "0.6", "0.9"}) ramp.insert(ramp.end(), 8, value);
  ASSERT_TRUE(writeRamp(dir_, ramp));
  // Framed alike, to the pixel but for rounding in the two text readers.
  Image twin = still({"ball.obj"});
  Extent obj = extent(twin);
  Image shot = still({"ball.ply"});
  Extent ply = extent(shot);
  EXPECT_NEAR(ply.left, obj.left, 1);
  EXPECT_NEAR(ply.right, obj.right, 1);
  EXPECT_NEAR(ply.top, obj.top, 1);
  EXPECT_NEAR(ply.bottom, obj.bottom, 1);
  // Given normals and, having no colours, the default material as a bare
  // OBJ model is (not the white of assimp's stand-in): the bands are the
  // OBJ twin's, the default grey times the ramp's values.
  std::set<int> right = mainLevels(greyLevels(shot, 400, 800));
  right.erase(0);
  EXPECT_TRUE(nearAll(right, {41, 82, 122, 184})) << ::testing::PrintToString(right);
  std::set<int> twinRight = mainLevels(greyLevels(twin, 400, 800));
  twinRight.erase(0);
  EXPECT_EQ(right, twinRight);

  Outcome r = run({"--snapshot", "never.png", "ball.obj", "noise.xyz"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "noise.xyz: No suitable reader found for the file format of file \"noise.xyz\".\n");
#else
  Outcome r = run({"--snapshot", "never.png", "ball.obj", "ball.ply"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ball.ply: only OBJ files can be read (this celshade was built without assimp)\n");
#endif
  EXPECT_EQ(r.out, "");
  EXPECT_NE(access(path("never.png").c_str(), F_OK), 0);
}

// ---- Textured models ----------------------------------------------------------

// A square from -1 to 1 facing the viewer with texture coordinates 0..1 at
// its corners, its material `board` in quad.mtl; `texcoords` false leaves
// them out.
std::string quadObj(bool texcoords) {
  std::string obj = "mtllib quad.mtl\nv -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nvn 0 0 1\n";
  if (!texcoords) return obj + "usemtl board\nf 1//1 2//1 3//1\nf 1//1 3//1 4//1\n";
  return obj +
         "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl board\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n";
}

// An image of width x height: red where `red(x, y)` holds (x, y from the
// top left), else blue.
Image twoColours(int width, int height, const std::function<bool(int, int)>& red) {
  Image image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool r = red(x, y);
      image.rgb.insert(image.rgb.end(), {uint8_t(r ? 255 : 0), 0, uint8_t(r ? 0 : 255)});
    }
  return image;
}

bool isRed(const uint8_t* p) { return p[0] > 150 && p[1] < 40 && p[2] < 60; }
bool isBlue(const uint8_t* p) { return p[0] < 40 && p[1] < 40 && p[2] > 100; }

// Red and blue pixels in columns [x0, x1).
std::pair<long, long> redAndBlue(const Image& image, int x0, int x1) {
  long red = 0, blue = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = x0; x < x1; ++x) red += isRed(image.at(x, y)), blue += isBlue(image.at(x, y));
  return {red, blue};
}

// Changes between red and blue from `from` to `to` (not included) along
// row `at`, or down column `at` when not `row`.
int colourChanges(const Image& image, int from, int to, int at, bool row) {
  int changes = 0, last = 0;
  for (int i = from; i < to; ++i) {
    const uint8_t* p = row ? image.at(i, at) : image.at(at, i);
    int now = isRed(p) ? 1 : isBlue(p) ? 2 : 0;
    if (now && last && now != last) ++changes;
    if (now) last = now;
  }
  return changes;
}

TEST_F(CommandLine, ATexturedQuadShowsItsImageInBothCopiesAndCTurnsItOff) {
  ASSERT_TRUE(writeRamp(dir_, {"1"}));
  write("quad.obj", quadObj(true));
  // A checker on an image of no power-of-two size.
  ASSERT_TRUE(twoColours(40, 24, [](int x, int y) {
                return (x / 8 + y / 8) % 2 == 1;
              }).savePng(path("checker.png")));
  write("quad.mtl", "newmtl board\nKd 1 1 0.5\nmap_Kd -s 1 1 1 checker.png\n");
  Image shot = still({"quad.obj"});
  Extent e = extent(shot);
  const int middle = (e.top + e.bottom) / 2;
  for (int half = 0; half < 2; ++half) {
    SCOPED_TRACE(half ? "cel-shaded copy" : "lit copy");
    auto [red, blue] = redAndBlue(shot, half * 400, half * 400 + 400);
    EXPECT_GT(red, 30000);
    EXPECT_GT(blue, 30000);
    // The image's colour times the material's: blue at half strength.
    int x = half * 400, y = middle;
    while (x < half * 400 + 400 && !isBlue(shot.at(x, y))) ++x;
    ASSERT_LT(x, half * 400 + 400);
    if (half) {
      EXPECT_NEAR(shot.at(x + 3, y)[2], 128, 2);
    }
    // Five cells across, three down.
    EXPECT_EQ(colourChanges(shot, half * 400, half * 400 + 400, middle, true), 4);
    int left = half * 400, right = half * 400 + 399;
    while (!e.columns[left]) ++left;
    while (!e.columns[right]) --right;
    EXPECT_EQ(colourChanges(shot, e.top, e.bottom + 1, (left + right) / 2, false), 2);
  }

  // Colours off: no image either, the bands white.
  Image plain = still({"--keys", "c", "quad.obj"});
  for (int half = 0; half < 2; ++half) {
    auto [red, blue] = redAndBlue(plain, half * 400, half * 400 + 400);
    EXPECT_EQ(red + blue, 0);
  }
  EXPECT_EQ(plain.at(600, middle)[0], 255);
  EXPECT_EQ(plain.at(600, middle)[2], 255);
  // And back on.
  EXPECT_EQ(still({"--keys", "cc", "quad.obj"}), shot);

  // An image wider than the largest texture is scaled down to fit: red on
  // the left, blue on the right.
  ASSERT_TRUE(twoColours(40000, 2, [](int x, int) { return x < 20000; }).savePng(path("wide.png")));
  write("quad.mtl", "newmtl board\nKd 1 1 1\nmap_Kd wide.png\n");
  Image wide = still({"quad.obj"});
  EXPECT_TRUE(isRed(wide.at(500, middle))) << int(wide.at(500, middle)[0]);
  EXPECT_TRUE(isBlue(wide.at(700, middle))) << int(wide.at(700, middle)[2]);
}

TEST_F(CommandLine, AnImageThatCannotBeDrawnIsOneWarningAndTheMaterialsColourIsUsed) {
  ASSERT_TRUE(writeRamp(dir_, {"1"}));
  write("quad.obj", quadObj(true));
  // Two materials name the missing image: one warning, for the first.
  write("quad.mtl",
        "newmtl board\nKd 1 1 0.5\nmap_Kd gone\x8f.png\nnewmtl other\nmap_Kd gone\x8f.png\n");
  Outcome r;
  Image shot = drawn({"quad.obj"}, r);
  EXPECT_EQ(r.err,
            "quad.mtl:3: can't open image \"gone\\x8f.png\" (No such file or directory); drawing "
            "with the material's colour\n");
  const uint8_t* p = shot.at(600, 300);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[1], 255);
  EXPECT_NEAR(p[2], 128, 1);

  // A file that is no image.
  write("text.png", "not an image\n");
  write("quad.mtl", "newmtl board\nKd 1 1 0.5\n\nmap_Kd text.png\n");
  drawn({"quad.obj"}, r);
  EXPECT_EQ(r.err.rfind("quad.mtl:4: can't read image \"text.png\" (", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("); drawing with the material's colour\n"), std::string::npos) << r.err;

  // A model without texture coordinates.
  ASSERT_TRUE(twoColours(8, 8, [](int x, int) { return x < 4; }).savePng(path("fine.png")));
  write("quad.mtl", "newmtl board\nKd 1 1 0.5\nmap_Kd fine.png\n");
  write("bare.obj", quadObj(false));
  shot = drawn({"bare.obj"}, r);
  EXPECT_EQ(r.err,
            "quad.mtl:3: image \"fine.png\" needs texture coordinates, which the model has none "
            "of; drawing with the material's colour\n");
  EXPECT_NEAR(shot.at(600, 300)[2], 128, 1);
}

}  // namespace
