// The viewer's frames drawn from lists and buffers against the same frames
// drawn call by call, corner after corner (celshade_call_by_call, the same
// program with tests/viewer/call_by_call_draw.cpp): both programs get the
// same models and the same keys and drags, and every view must come out
// the same but for a few pixels.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "test_models.h"
#include "viewer_session.h"

using namespace celshade_test;

namespace {

const char* kTitle = "Veltrane - Kordex Assignment 3 - Cel Shading";

// Every fourth face of dir/name.obj loses the normal of its first corner,
// which then takes the face's direction.
bool dropSomeNormals(const std::string& dir, const std::string& name) {
  std::string path = dir + "/" + name + ".obj";
  std::ifstream in(path);
  std::ostringstream out;
  int faces = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("f ", 0) == 0 && faces++ % 4 == 0) {
      size_t slashes = line.find("//"), blank = line.find(' ', 2);
      if (slashes == std::string::npos || blank == std::string::npos) return false;
      line = line.substr(0, slashes) + "//0" + line.substr(blank);
    }
    out << line << '\n';
  }
  std::ofstream(path) << out.str();
  return faces > 0;
}

// The models: an egg in three colours, a tall rabbit some of whose corners
// have no normal, a box with flat faces; a four-band ramp.
bool writeModels(const std::string& dir) {
  const Material red = {"red", 1, 0, 0}, green = {"green", 0, 1, 0}, blue = {"blue", 0, 0, 1};
  std::vector<std::string> ramp;
  for (const char* value : {"0.25", "0.5", "0.75", "1.0"})
    for (int i = 0; i < 8; ++i) ramp.push_back(value);
  return writeEllipsoid(dir, "cow", 0.4f, 1.0f, 0.4f, 48, 32, {red, green, blue},
                        [](float x, float y, float) {
                          return y > 0.3f ? 0 : x >= 0 ? 1 : 2;
                        }) > 0 &&
         writeEllipsoid(dir, "rabbit", 0.2f, 1.0f, 0.2f, 32, 24, {green, blue},
                        [](float, float y, float) { return y > 0 ? 0 : 1; }) > 0 &&
         dropSomeNormals(dir, "rabbit") &&
         writeBox(dir, "penguin", 1.0f, 0.5f, 0.25f, {"yellow", 1, 1, 0}, {"magenta", 1, 0, 1}) &&
         writeRamp(dir, ramp);
}

// One step of what the user does: keys to type, or (with no keys) a
// left-button drag.
struct Step {
  const char* name;
  const char* keys;
  int x0, y0, x1, y1;
};

const Step kSteps[] = {
    {"start-up", nullptr, 0, 0, 0, 0},  // no input: the first frames
    {"colour off", "c", 0, 0, 0, 0},    {"penguin", "2", 0, 0, 0, 0},
    {"colour on", "c", 0, 0, 0, 0},     {"rabbit", "3", 0, 0, 0, 0},
    {"cow", "1", 0, 0, 0, 0},           {"zoomed and moved", "sssswwaad", 0, 0, 0, 0},
    {"turned", "", 500, 300, 420, 340}, {"turned further, colour off", "", 300, 200, 380, 150},
};

// The picture after each step, from `program` run in `dir`.
std::vector<Image> picturesOf(const std::string& program, const std::string& dir) {
  std::vector<Image> pictures;
  VirtualDisplay display;
  if (!display.ok()) return pictures;
  Process viewer({program}, dir, {"DISPLAY=" + display.name(), "LIBGL_ALWAYS_SOFTWARE=1"});
  if (!viewer.waitForOutput("Initialization Done!", 30)) return pictures;
  WindowDriver window(display.name());
  if (!window.connected() || !window.find(kTitle, 10)) return pictures;
  Image shown = window.grab();
  for (int i = 0;
       i < 200 && std::all_of(shown.rgb.begin(), shown.rgb.end(), [](uint8_t c) { return c == 0; });
       ++i) {
    usleep(50000);
    shown = window.grab();
  }
  for (const Step& step : kSteps) {
    if (!step.keys) {
      shown = window.settled();
    } else {
      Image before = window.grab();
      if (*step.keys) {
        window.type(step.keys);
      } else {
        window.drag(1, step.x0, step.y0, step.x1, step.y1);
        if (strstr(step.name, "colour off")) window.type("c");
      }
      shown = window.changedFrom(before);
    }
    if (const char* folder = getenv("CELSHADE_E2E_PICTURES"))
      shown.save(std::string(folder) + "/frames-" + std::to_string(pictures.size()) + "-" +
                 (program.find("call_by_call") != std::string::npos ? "calls" : "arrays") + ".ppm");
    pictures.push_back(shown);
  }
  return pictures;
}

TEST(FramePictures, ListsAndBuffersDrawWhatCallByCallDrew) {
  char pattern[] = "/tmp/celshade-frames-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string dir = pattern;
  ASSERT_TRUE(writeModels(dir));
  std::vector<Image> arrays = picturesOf(CELSHADE_VIEWER, dir);
  std::vector<Image> calls = picturesOf(CELSHADE_CALL_BY_CALL, dir);
  std::string command = "rm -rf '" + dir + "'";
  EXPECT_EQ(system(command.c_str()), 0);
  const size_t steps = sizeof kSteps / sizeof kSteps[0];
  ASSERT_EQ(arrays.size(), steps) << "the viewer did not go through every step";
  ASSERT_EQ(calls.size(), steps) << "the call-by-call viewer did not go through every step";
  for (size_t i = 0; i < steps; ++i) {
    const Image &a = arrays[i], &c = calls[i];
    ASSERT_EQ(a.width, c.width);
    ASSERT_EQ(a.height, c.height);
    long pixels = long(a.width) * a.height, differing = 0, background = 0;
    for (long p = 0; p < pixels; ++p) {
      differing += memcmp(&a.rgb[3 * p], &c.rgb[3 * p], 3) != 0;
      background += a.rgb[3 * p] == 204 && a.rgb[3 * p + 1] == 204 && a.rgb[3 * p + 2] == 204;
    }
    EXPECT_LE(differing, pixels / 200) << kSteps[i].name << ": " << differing << " pixels differ";
    // A view that shows nothing would pass too easily.
    EXPECT_LT(background, pixels * 95 / 100) << kSteps[i].name << ": nearly empty";
  }
  // The steps changed the picture, so the views are not one view repeated.
  for (size_t i = 1; i < steps; ++i) EXPECT_FALSE(arrays[i] == arrays[i - 1]) << kSteps[i].name;
}

}  // namespace
