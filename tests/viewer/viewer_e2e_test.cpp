// The viewer as a user meets it: the real program on a virtual display, in a
// folder of small generated models, watched through its output, its window
// and pictures of it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "test_models.h"
#include "viewer_session.h"

using namespace celshade_test;

namespace {

const char* kTitle = "Veltrane - Kordex Assignment 3 - Cel Shading";
const int kBackground = 204;  // clear colour 0.8

// Ramp bands, 8 texels each: 0.25, 0.5, 0.75, 1.0. The lines carry trailing
// words, which must not matter, and a 33rd line that must not be read (a
// sanitizer build would catch a write past the 32 texels).
const std::vector<int> kBandLevels = {64, 128, 191, 255};

std::vector<std::string> rampLines() {
  std::vector<std::string> lines;
  const char* values[] = {"0.25", "0.5 middle", "0.75", "1.0 brightest"};
  for (const char* value : values)
    for (int i = 0; i < 8; ++i) lines.push_back(value);
  lines.push_back("0.0 a 33rd line that is never used");
  return lines;
}

const Material kRed = {"red", 1, 0, 0};
const Material kGreen = {"green", 0, 1, 0};
const Material kBlue = {"blue", 0, 0, 1};
const Material kYellow = {"yellow", 1, 1, 0};
const Material kMagenta = {"magenta", 1, 0, 1};

// The cow: an upright egg, red on top, green below on its +x side and blue
// on its -x side, so that spinning it about the vertical axis shows.
bool writeCow(const std::string& dir) {
  return writeEllipsoid(dir, "cow", 0.4f, 1.0f, 0.4f, 48, 32, {kRed, kGreen, kBlue},
                        [](float x, float y, float) { return y > 0.3f ? 0
                                                             : x >= 0 ? 1
                                                                      : 2; }) > 0;
}

// The rabbit: tall and thin, so that its copies at +-0.3 stay apart.
bool writeRabbit(const std::string& dir) {
  return writeEllipsoid(dir, "rabbit", 0.2f, 1.0f, 0.2f, 32, 24, {kGreen, kBlue},
                        [](float, float y, float) { return y > 0 ? 0 : 1; }) > 0;
}

// The penguin: a flat box whose front faces the viewer squarely.
bool writePenguin(const std::string& dir) {
  return writeBox(dir, "penguin", 1.0f, 0.5f, 0.25f, kYellow, kMagenta);
}

std::string viewerPath() { return CELSHADE_VIEWER; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

const std::vector<std::string> kStartupLines = {
    "Initializing",
    "loading shader file...",
    "shader file loaded, initializing textures...",
    "textures initialized, reading in obj files...",
    "\treading cow.obj and cow.mtl...",
    "\tsuccessfully read in cow model",
    "\treading rabbit.obj and rabbit.mtl...",
    "\tsuccessfully read in rabbit model",
    "\treading penguin.obj and penguin.mtl...",
    "\tsuccessfully read in penguin model",
    "obj files successfully read",
    "Initialization Done! Press 'h' for help, or 'q' to quit",
    "",
};

const std::string kHelp =
    "****CELSHADER HELP****\n"
    "There are 3 different models. Select them by pressing the following keys:\n"
    "1 - Cow Model\n"
    "2 - Penguin Model\n"
    "3 - Rabbit Model\n"
    "\n"
    "To rotate camera, click on the screen and move the mouse around\n"
    "\n"
    "Key Commands:\n"
    "w - zoom in\n"
    "s - zoom out\n"
    "a - move left\n"
    "d - move right\n"
    "c - toggle color on/off\n"
    "h - help\n"
    "q - quit\n";

// The bundled run's grey, or the light blue of runs with model files.
bool isBackground(const uint8_t* p) {
  return (p[0] == kBackground && p[1] == kBackground && p[2] == kBackground) ||
         (p[0] == 158 && p[1] == 184 && p[2] == 209);
}
bool isDark(const uint8_t* p) { return p[0] < 40 && p[1] < 40 && p[2] < 40; }
bool near(int a, int b) { return std::abs(a - b) <= 3; }

// What the pixels of one half of the window (one copy) look like.
struct CopyStats {
  long pixels = 0;               // not background
  long dark = 0;                 // outline black
  long banded = 0;               // a ramp level times one of `colours`
  std::map<int, long> perLevel;  // pixels of each ramp level
  // Ramp levels that cover more than 2 % of the banded pixels (a blend of
  // the outline with a band can match a lower level here and there).
  std::set<int> levels() const {
    std::set<int> main;
    for (const auto& [level, count] : perLevel)
      if (count * 50 > banded) main.insert(level);
    return main;
  }
  std::set<uint32_t> distinct;
  double centreX = 0;  // mean column of the copy's pixels
  int top = -1, bottom = -1;
  long greenish = 0;  // green is the strongest channel
  long coloured = 0;  // not a shade of grey
};

// Looks at columns [x0, x1) of the picture; `colours` are the material
// colours (0/1 per channel) whose ramp multiples count as bands.
CopyStats measure(const Image& image, int x0, int x1,
                  const std::vector<Material>& colours = {kRed, kGreen, kBlue}) {
  CopyStats s;
  double sumX = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = image.at(x, y);
      if (isBackground(p)) continue;
      ++s.pixels;
      sumX += x;
      if (s.top < 0) s.top = y;
      s.bottom = y;
      s.distinct.insert(p[0] << 16 | p[1] << 8 | p[2]);
      if (p[1] > p[0] + 20 && p[1] > p[2] + 20) ++s.greenish;
      if (std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 6) ++s.coloured;
      if (isDark(p)) {
        ++s.dark;
        continue;
      }
      for (const Material& m : colours)
        for (int level : kBandLevels)
          if (near(p[0], int(m.r * level)) && near(p[1], int(m.g * level)) &&
              near(p[2], int(m.b * level))) {
            ++s.banded;
            ++s.perLevel[level];
          }
    }
  if (s.pixels) s.centreX = sumX / s.pixels;
  return s;
}

// Share of the rows through the copy in [x0, x1) whose first and last
// non-background pixels are followed, within 3 pixels inwards, by outline
// black.
double outlinedEdges(const Image& image, int x0, int x1) {
  long rows = 0, outlined = 0;
  for (int y = 0; y < image.height; ++y) {
    int first = -1, last = -1;
    for (int x = x0; x < x1; ++x)
      if (!isBackground(image.at(x, y))) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0 || last - first < 8) continue;
    // Edges at the window border are cut off, not silhouettes.
    if (first == x0 || last == x1 - 1) continue;
    ++rows;
    bool left = false, right = false;
    for (int k = 0; k < 4; ++k) {
      left = left || isDark(image.at(first + k, y));
      right = right || isDark(image.at(last - k, y));
    }
    if (left && right) ++outlined;
  }
  return rows ? double(outlined) / rows : 0;
}

// Number of pixels in columns [x0, x1) that differ between two pictures.
long differing(const Image& a, const Image& b, int x0, int x1) {
  long count = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = x0; x < x1; ++x)
      if (memcmp(a.at(x, y), b.at(x, y), 3) != 0) ++count;
  return count;
}

// Share of the box front (seen after key 2) drawn in the given colour.
double frontShare(const Image& box, int r, int g, int b) {
  long hits = 0, total = 0;
  for (int y = 250; y < 350; ++y)
    for (int x = 450; x < 750; ++x, ++total) {
      const uint8_t* p = box.at(x, y);
      if (near(p[0], r) && near(p[1], g) && near(p[2], b)) ++hits;
    }
  return double(hits) / total;
}

// A folder of data files, the display and the running viewer.
class Viewer : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/celshade-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_TRUE(writeCow(dir_) && writeRabbit(dir_) && writePenguin(dir_));
    ASSERT_TRUE(writeRamp(dir_, rampLines()));
    ASSERT_TRUE(display_.ok()) << "Xvfb did not start";
  }

  void TearDown() override {
    driver_.reset();
    viewer_.reset();
    std::string command = "rm -rf '" + dir_ + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
  }

  void remove(const std::string& file) { unlink((dir_ + "/" + file).c_str()); }

  // Starts the program with `args`; does not wait for anything.
  void launch(const std::vector<std::string>& args = {}) {
    std::vector<std::string> command = {viewerPath()};
    command.insert(command.end(), args.begin(), args.end());
    viewer_.reset(new Process(
        command, dir_,
        {"DISPLAY=" + display_.name(), "LIBGL_ALWAYS_SOFTWARE=1", withoutLeakChecks()}));
  }

  // Starts the program and waits for its window, titled `title`, and its
  // first frames.
  void start(const std::vector<std::string>& args = {}, const std::string& title = kTitle) {
    launch(args);
    ASSERT_TRUE(viewer_->waitForOutput("Press 'h' for help", 20)) << "stdout:\n"
                                                                  << viewer_->out() << "stderr:\n"
                                                                  << viewer_->err();
    driver_.reset(new WindowDriver(display_.name()));
    ASSERT_TRUE(driver_->connected());
    ASSERT_TRUE(driver_->find(title, 10)) << "no window titled " << title;
    // Until the first frame is swapped in, the window is plain black.
    bool drawn = false;
    for (int i = 0; i < 200 && !drawn; ++i) {
      Image first = driver_->grab();
      drawn = std::any_of(first.rgb.begin(), first.rgb.end(), [](uint8_t c) { return c != 0; });
      if (!drawn) usleep(50000);
    }
    ASSERT_TRUE(drawn) << "no frame drawn";
    picture_ = keep(driver_->settled());
    ASSERT_EQ(picture_.width, 800);
  }

  // The picture once the keys have changed it.
  Image after(const std::string& keys) {
    Image before = driver_->grab();
    driver_->type(keys);
    return keep(driver_->changedFrom(before));
  }

  // The picture once the viewer has drawn a frame after all input sent so
  // far: the p key saves the next finished frame and says so, and keys and
  // pointer events are handled in the order they were sent. Each call saves
  // one more celshade-NNN.png and prints one more line.
  Image drawnAfterInput() {
    char line[64];
    snprintf(line, sizeof line, "saved celshade-%03d.png\n", ++saved_);
    driver_->type("p");
    EXPECT_TRUE(viewer_->waitForOutput(line, 20)) << viewer_->out();
    return keep(driver_->settled());
  }

  // The picture after input that should change nothing.
  Image unchangedAfter(const std::string& keys) {
    driver_->type(keys);
    return drawnAfterInput();
  }

  // With CELSHADE_E2E_PICTURES set to a folder, every picture a test looks
  // at is saved there as <test>-<n>.ppm, for a person to judge.
  Image keep(Image picture) {
    if (const char* folder = getenv("CELSHADE_E2E_PICTURES")) {
      std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
      picture.save(std::string(folder) + "/" + name + "-" + std::to_string(kept_++) + ".ppm");
    }
    return picture;
  }

  std::string dir_;
  VirtualDisplay display_;
  std::unique_ptr<Process> viewer_;
  std::unique_ptr<WindowDriver> driver_;
  Image picture_;  // after start-up
  int kept_ = 0;
  int saved_ = 0;  // pictures saved by drawnAfterInput
};

TEST_F(Viewer, PrintsItsProgressLineByLineAndOpensTheTitledWindow) {
  start();
  EXPECT_EQ(lines(viewer_->out()), kStartupLines);
  EXPECT_EQ(viewer_->out().back(), '\n');
  EXPECT_EQ(viewer_->err(), "");
  EXPECT_EQ(driver_->title(), kTitle);
  int width = 0, height = 0;
  driver_->size(width, height);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  // Frames keep coming without printing anything more.
  driver_->settled();
  EXPECT_EQ(lines(viewer_->out()), kStartupLines);
  EXPECT_TRUE(viewer_->running());
}

TEST_F(Viewer, ResizedWindowKeepsTheSceneFillingIt) {
  start();
  CopyStats before = measure(picture_, 400, 800);
  driver_->resize(400, 400);
  Image square = keep(driver_->changedFrom(picture_));
  ASSERT_EQ(square.width, 400);
  ASSERT_EQ(square.height, 400);
  // The viewport follows the window: the right copy's centre moves to
  // 200 + 200 / (4 tan 20deg), and it shrinks with the window's height.
  CopyStats after = measure(square, 200, 400);
  EXPECT_NEAR(after.centreX, 337, 8);
  EXPECT_NEAR(after.bottom - after.top, (before.bottom - before.top) * 400 / 600.0, 6);
}

TEST_F(Viewer, HelpKeyPrintsTheHelpTextAndQuitKeyEndsWithStatusZero) {
  start();
  std::string before = viewer_->out();
  driver_->type("h");
  ASSERT_TRUE(viewer_->waitForOutput("q - quit\n", 5));
  driver_->type("q");
  EXPECT_EQ(viewer_->waitForExit(5), 0);
  EXPECT_EQ(viewer_->out(), before + kHelp);
}

TEST_F(Viewer, UpperCaseAndUnknownKeysChangeNothing) {
  start();
  Image shot = unchangedAfter("WQHx9");
  EXPECT_EQ(differing(picture_, shot, 0, 800), 0);
  EXPECT_TRUE(viewer_->running());
  std::vector<std::string> expected = kStartupLines;
  expected.push_back("saved celshade-001.png");  // by drawnAfterInput
  EXPECT_EQ(lines(viewer_->out()), expected);
}

TEST_F(Viewer, MissingModelFileEndsWithTheReadersMessageAndStatusOne) {
  remove("rabbit.obj");
  launch();
  EXPECT_EQ(viewer_->waitForExit(20), 1);
  EXPECT_EQ(viewer_->err(), "glmReadOBJ() failed: can't open data file \"rabbit.obj\".\n");
  std::vector<std::string> expected(kStartupLines.begin(), kStartupLines.begin() + 7);
  EXPECT_EQ(lines(viewer_->out()), expected);
}

TEST_F(Viewer, MissingRampFileIsReportedAndTheWindowStillOpens) {
  remove("Shader.txt");
  start();
  std::vector<std::string> expected = kStartupLines;
  expected[2] = "ERROR Opening Shader File";
  EXPECT_EQ(lines(viewer_->out()), expected);
  // Without a ramp every texel is 0: the cel-shaded copy is all black, the
  // lit copy is still lit.
  CopyStats right = measure(picture_, 400, 800);
  CopyStats left = measure(picture_, 0, 400);
  EXPECT_GT(right.pixels, 10000);
  EXPECT_GT(right.dark, right.pixels * 95 / 100);
  EXPECT_EQ(right.coloured, 0);
  EXPECT_GT(left.distinct.size(), 100u);
}

TEST_F(Viewer, RampFileThatIsADirectoryIsReportedAsNotOpened) {
  remove("Shader.txt");
  ASSERT_EQ(mkdir((dir_ + "/Shader.txt").c_str(), 0755), 0);
  start();
  std::vector<std::string> expected = kStartupLines;
  expected[2] = "ERROR Opening Shader File";
  EXPECT_EQ(lines(viewer_->out()), expected);
  EXPECT_EQ(measure(picture_, 400, 800).coloured, 0);
}

TEST_F(Viewer, ShowsTheModelLitOnTheLeftAndInOutlinedFlatBandsOnTheRight) {
  start();
  CopyStats left = measure(picture_, 0, 400);
  CopyStats right = measure(picture_, 400, 800);
  ASSERT_GT(left.pixels, 10000);
  ASSERT_GT(right.pixels, 10000);

  // Lighting shades smoothly: many colours, few of them ramp levels.
  EXPECT_GT(left.distinct.size(), 200u);
  EXPECT_LT(left.banded, left.pixels / 4);
  // Cel shading: apart from the outline, flat ramp levels times the
  // material colours, in several bands.
  EXPECT_GT(right.banded, (right.pixels - right.dark) * 9 / 10);
  EXPECT_GE(right.levels().size(), 3u);
  EXPECT_GT(right.dark, 500);
  EXPECT_GT(outlinedEdges(picture_, 400, 800), 0.9);

  // The copies sit at x = -1 and +1: 400 -+ 400 / (4 tan 20deg) pixels.
  EXPECT_NEAR(left.centreX, 125, 12);
  EXPECT_NEAR(right.centreX, 675, 12);
}

TEST_F(Viewer, ColourKeyTurnsTheBandsGreyAndBack) {
  start();
  Image grey = after("c");
  CopyStats right = measure(grey, 400, 800, {{"white", 1, 1, 1}});
  EXPECT_GT(right.banded, (right.pixels - right.dark) * 9 / 10);
  EXPECT_GE(right.levels().size(), 3u);
  EXPECT_EQ(measure(grey, 400, 800).banded, measure(grey, 400, 800, {}).banded);

  // The lit copy now sets no material of its own and keeps the one the last
  // coloured frame left: that of the model's last group, "default", grey.
  CopyStats left = measure(grey, 0, 400);
  EXPECT_GT(left.pixels, 10000);
  EXPECT_EQ(left.coloured, 0);

  Image again = after("c");
  EXPECT_EQ(differing(picture_, again, 400, 800), 0);
}

TEST_F(Viewer, FaceTowardsTheViewerTakesTheBrightestTexel) {
  start();
  Image box = after("2");
  // The box front spans the right half's middle; with the ramp clamped at its
  // edge the coordinate 1.0 gives texel 31 (1.0), never texel 0 (0.25).
  EXPECT_EQ(frontShare(box, 64, 64, 0), 0.0);
  EXPECT_EQ(frontShare(box, 255, 255, 0), 1.0);
}

TEST_F(Viewer, RampLinesGiveTheirLeadingNumberOrZero) {
  // 31 lines of 0.5 with blanks and words around, then a line that does not
  // begin with a number: texel 31, where a face towards the viewer lands,
  // is 0.
  std::vector<std::string> ramp(31, " 0.5e0 half");
  ramp.push_back("one");
  ASSERT_TRUE(writeRamp(dir_, ramp));
  start();
  CopyStats right = measure(picture_, 400, 800);
  EXPECT_EQ(right.levels(), std::set<int>{128});
  EXPECT_GT(right.banded, (right.pixels - right.dark) * 9 / 10);
  EXPECT_EQ(frontShare(after("2"), 0, 0, 0), 1.0);
}

TEST_F(Viewer, TexelsTheRampFileLacksAreBlack) {
  ASSERT_TRUE(writeRamp(dir_, std::vector<std::string>(8, "1.0")));
  start();
  // Only coordinates below 8/32 (normals turned well away from the viewer,
  // at the rim) are lit; the middle of the copy is black.
  CopyStats right = measure(picture_, 400, 800);
  EXPECT_EQ(right.levels(), std::set<int>{255});
  EXPECT_GT(right.dark, right.pixels / 2);
  EXPECT_EQ(frontShare(after("2"), 0, 0, 0), 1.0);
}

TEST_F(Viewer, NumberKeysSwitchModelsAndTheRabbitSitsCloser) {
  start();
  Image rabbit = after("3");
  CopyStats left = measure(rabbit, 0, 400), right = measure(rabbit, 400, 800);
  // +-0.3 at eye distance 2: 400 -+ 400 * 0.3 / (2 tan 20deg) pixels.
  EXPECT_NEAR(left.centreX, 235, 12);
  EXPECT_NEAR(right.centreX, 565, 12);
  // Green and blue only: the cow's red top is gone.
  for (int y = 0; y < rabbit.height; ++y) {
    EXPECT_TRUE(isBackground(rabbit.at(400, y))) << "row " << y;
    if (!isBackground(rabbit.at(400, y))) break;
  }
  EXPECT_EQ(measure(rabbit, 400, 800, {kRed}).banded, 0);

  Image penguin = after("2");
  EXPECT_GT(measure(penguin, 400, 800, {kYellow, kMagenta}).banded, 10000);

  Image cow = after("1");
  // Back to the cow, now seen from distance 3: larger than at start-up.
  CopyStats now = measure(cow, 0, 400), first = measure(picture_, 0, 400);
  EXPECT_GT(now.bottom - now.top, (first.bottom - first.top) * 5 / 4);
}

TEST_F(Viewer, MoveKeysShiftAndZoomKeysScaleThePicture) {
  start();
  CopyStats left = measure(picture_, 0, 400), right = measure(picture_, 400, 800);
  int height = right.bottom - right.top;

  // Eye and focus 0.2 to the left: the picture moves right by
  // 400 * 0.2 / (4 tan 20deg) = 55 pixels; then 0.2 to the right of centre.
  CopyStats leftA = measure(after("aaaa"), 0, 400);
  EXPECT_NEAR(leftA.centreX - left.centreX, 55, 6);
  CopyStats rightD = measure(after("dddddddd"), 400, 800);
  EXPECT_NEAR(rightD.centreX - right.centreX, -55, 6);

  CopyStats in = measure(after("wwwww"), 400, 800);  // eye 4 * 0.96^5
  EXPECT_NEAR(in.bottom - in.top, height * 4 / 3.26, 8);
  CopyStats out = measure(after("ssssssssss"), 400, 800);  // then * 1.04^10
  EXPECT_NEAR(out.bottom - out.top, height * 4 / 4.83, 8);
}

TEST_F(Viewer, LeftDragRotatesBothCopiesAndRightDragDoesNot) {
  start();
  Image right = driver_->settled();
  driver_->drag(3, 400, 300, 500, 380);
  Image afterRight = drawnAfterInput();
  EXPECT_EQ(differing(right, afterRight, 0, 800), 0);

  // 100 pixels to the left turn the copies by -60 degrees about the vertical:
  // the green (+x) side comes round to the front of both.
  CopyStats leftBefore = measure(afterRight, 0, 400), rightBefore = measure(afterRight, 400, 800);
  driver_->drag(1, 500, 300, 400, 300);
  Image turned = keep(driver_->changedFrom(afterRight));
  CopyStats leftAfter = measure(turned, 0, 400), rightAfter = measure(turned, 400, 800);
  EXPECT_GT(differing(afterRight, turned, 0, 400), 3000);
  EXPECT_GT(differing(afterRight, turned, 400, 800), 3000);
  EXPECT_GT(leftAfter.greenish, leftBefore.greenish * 3 / 2);
  EXPECT_GT(rightAfter.greenish, rightBefore.greenish * 3 / 2);
  // Still flat bands on the right.
  EXPECT_GT(rightAfter.banded, (rightAfter.pixels - rightAfter.dark) * 9 / 10);
}

TEST_F(Viewer, SwitchingModelsInTheMiddleOfADragEndsTheDrag) {
  start();
  Image rabbit = after("3");
  driver_->drag(1, 400, 300, 400, 300);  // pointer in place, nothing turned
  driver_->button(1, true);
  driver_->moveTo(450, 330);
  Image turned = keep(driver_->changedFrom(rabbit));
  EXPECT_GT(differing(rabbit, turned, 0, 800), 1000);
  driver_->type("3");
  EXPECT_EQ(differing(rabbit, keep(driver_->changedFrom(turned)), 0, 800), 0);
  // The button is still down, but the drag is over: moving turns nothing.
  driver_->moveTo(300, 250);
  EXPECT_EQ(differing(rabbit, drawnAfterInput(), 0, 800), 0);
  driver_->button(1, false);
}

// Occurrences of `text` in `in`.
long count(const std::string& in, const std::string& text) {
  long n = 0;
  for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
  return n;
}

TEST_F(Viewer, ModelWithoutNormalsOrMaterialsIsStillDrawn) {
  // Vertices and faces only: the lit copy gets no normals or materials (the
  // library warns once per colour mode, when the copy's list is made), the
  // cel copy uses each face's direction in white.
  FILE* f = fopen((dir_ + "/cow.obj").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fprintf(f, "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nv 0 0 1\n");
  fprintf(f, "f 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\nf 1 4 3 2\n");
  fclose(f);
  start();
  const std::string smooth =
      "glmDraw() warning: smooth render mode requested with no normals defined.\n";
  const std::string material =
      "glmDraw() warning: material render mode requested with no materials defined.\n";
  EXPECT_EQ(count(viewer_->out(), smooth), 1);
  EXPECT_EQ(count(viewer_->out(), material), 1);
  EXPECT_TRUE(viewer_->running());
  CopyStats right = measure(picture_, 400, 800, {{"white", 1, 1, 1}});
  EXPECT_GT(right.pixels, 10000);
  EXPECT_GT(right.banded, (right.pixels - right.dark) * 9 / 10);
  // Every side leans 45 degrees away from the viewer: coordinate 0.707,
  // texel 22, the 0.75 band.
  EXPECT_EQ(right.levels(), std::set<int>{191});

  // Colour off makes the other list, with its own warning (the picture stays
  // as it is: there is no colour to take away); after that the frames, in
  // either mode, print nothing.
  unchangedAfter("c");
  unchangedAfter("c");
  EXPECT_EQ(count(viewer_->out(), smooth), 2);
  EXPECT_EQ(count(viewer_->out(), material), 1);
}

// Runs with model files: the same window, the same keys, the same picture
// as a still drawn with no display.
class OwnModels : public Viewer {
 protected:
  void SetUp() override {
    Viewer::SetUp();
    // Runs with model files check their ramp: one value per line.
    ASSERT_TRUE(writeRamp(dir_, {"0.25", "0.5", "0.75", "1.0"}));
    ASSERT_TRUE(writeBareEllipsoid(dir_ + "/ball.obj", 1, 1, 1, 48, 32));
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    ASSERT_GT(writeEllipsoid(dir_ + "/sub", "egg", 0.4f, 1.0f, 0.4f, 48, 32, {kRed, kGreen, kBlue},
                             [](float x, float y, float) { return y > 0.3f ? 0
                                                                  : x >= 0 ? 1
                                                                           : 2; }),
              0);
  }

  // A still of `args` drawn with DISPLAY unset.
  Image still(std::vector<std::string> args) {
    args.insert(args.begin(), {"env", "-u", "DISPLAY", viewerPath(), "--snapshot", "still.png"});
    Process snapshot(args, dir_, {withoutLeakChecks()});
    EXPECT_EQ(snapshot.waitForExit(60), 0) << snapshot.err();
    Image image;
    EXPECT_TRUE(image.load(dir_ + "/still.png"));
    return keep(image);
  }

  const std::vector<std::string> files_ = {"ball.obj", "sub/egg.obj"};
  const std::string kBallTitle = "celshade \u2013 ball.obj";
};

TEST_F(OwnModels, KeysGivenWithKeysOrTypedAndStillsAllShowTheSamePicture) {
  std::vector<std::string> args = files_;
  start(args, kBallTitle);
  EXPECT_GE(picture_.sameShare(still(args)), 0.995);

  const std::string keys = "2sssdc";
  Image typed = after(keys);
  EXPECT_LT(typed.sameShare(picture_), 0.9);
  args.insert(args.begin(), {"--keys", keys});
  EXPECT_GE(typed.sameShare(still(args)), 0.995);

  driver_.reset();
  viewer_.reset();
  start(args, "celshade \u2013 egg.obj");
  EXPECT_EQ(differing(picture_, typed, 0, 800), 0);
}

TEST_F(OwnModels, KeyPSavesTheWindowsPictureAsTheNextFreeNumberedPng) {
  start(files_, kBallTitle);
  driver_->type("p");
  ASSERT_TRUE(viewer_->waitForOutput("saved celshade-001.png\n", 10)) << viewer_->out();
  Image saved;
  ASSERT_TRUE(saved.load(dir_ + "/celshade-001.png"));
  EXPECT_EQ(saved.width, 800);
  EXPECT_EQ(saved.height, 600);
  EXPECT_GE(saved.sameShare(picture_), 0.995);

  Image egg = after("2");
  driver_->type("p");
  ASSERT_TRUE(viewer_->waitForOutput("saved celshade-002.png\n", 10)) << viewer_->out();
  ASSERT_TRUE(saved.load(dir_ + "/celshade-002.png"));
  EXPECT_GE(saved.sameShare(egg), 0.995);
}

TEST_F(OwnModels, HelpListsTheFilesTheTitleTheOneShownAndTheWindowKeepsItsAspect) {
  start(files_, kBallTitle);
  driver_->type("h");
  ASSERT_TRUE(viewer_->waitForOutput("q - quit\n", 5));
  std::string out = viewer_->out();
  EXPECT_NE(out.find("1 - ball.obj\n2 - sub/egg.obj\n"), std::string::npos) << out;
  EXPECT_NE(out.find("p - save the picture as celshade-NNN.png\n"), std::string::npos);
  after("2");
  EXPECT_EQ(driver_->title(), "celshade \u2013 egg.obj");
  after("1");
  EXPECT_EQ(driver_->title(), kBallTitle);

  // The ball stays round in a wider window: the projection follows the
  // window's shape (a few per cent are perspective, the ball being off
  // the middle).
  driver_->resize(800, 400);
  Image wide = keep(driver_->changedFrom(picture_));
  ASSERT_EQ(wide.height, 400);
  CopyStats right = measure(wide, 400, 800);
  ASSERT_GT(right.pixels, 1000);
  int left = 800, rightmost = 0;
  for (int y = 0; y < wide.height; ++y)
    for (int x = 400; x < 800; ++x)
      if (!isBackground(wide.at(x, y)))
        left = std::min(left, x), rightmost = std::max(rightmost, x);
  EXPECT_NEAR(double(rightmost - left) / (right.bottom - right.top), 1.0, 0.05);
}

}  // namespace
