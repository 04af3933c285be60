// The message handler: every warning of the library reaches it instead of
// the streams, and without one the streams get exactly what they always did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glm_internal.h"
#include "support/message_collector.h"
#include "support/model_builder.h"

namespace {

using namespace model_builder;

// A triangle on vertices 1-3 of four: vertex 4 has no triangle.
GLMmodel* triangleAndLooseVertex() {
  GLMmodel* m = newModel();
  setVertices(m, {0, 0, 0, 1, 0, 0, 0, 1, 0, 5, 5, 5});
  setTriangles(m, {triangle(1, 2, 3)});
  addGroup(m, "default", {0});
  return m;
}

// Makes one warning of every kind the library has; returns the PPM folder.
void warnOfEveryKind(GLMmodel* m, const std::string& dir) {
  glmFindMaterial(m, "nowhere");
  glmFacetNormals(m);
  glmVertexNormals(m, 90);
  glmWriteOBJ(m, (dir + "out.obj").c_str(), GLM_TEXTURE);
  int w = 0, h = 0;
  glmReadPPM((dir + "missing.ppm").c_str(), &w, &h);
  writeFile(dir + "text.ppm", "P3\n1 1\n255\n0 0 0\n");
  glmReadPPM((dir + "text.ppm").c_str(), &w, &h);
}

TEST(MessageHandler, TakesEveryWarningAndNothingIsPrinted) {
  GLMmodel* m = triangleAndLooseVertex();
  std::string dir = scratchDir();
  Collector collector;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  warnOfEveryKind(m, dir);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(collector.messages,
            (std::vector<std::string>{
                "glmFindMaterial():  can't find material \"nowhere\".",
                "glmVertexNormals(): vertex w/o a triangle",
                "glmWriteOBJ() warning: texture coordinate output requested with no texture "
                "coordinates defined.",
                dir + "missing.ppm: No such file or directory",
                dir + "text.ppm: Not a raw PPM file",
            }));
  glmDelete(m);
}

TEST(MessageHandler, WithoutOneEachWarningIsPrintedOnItsStream) {
  GLMmodel* m = triangleAndLooseVertex();
  std::string dir = scratchDir();
  Collector collector;
  glmSetMessageHandler(nullptr, nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  warnOfEveryKind(m, dir);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "glmFindMaterial():  can't find material \"nowhere\".\n"
            "glmWriteOBJ() warning: texture coordinate output requested with no texture "
            "coordinates defined.\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "glmVertexNormals(): vertex w/o a triangle\n" +
                                                        dir +
                                                        "missing.ppm: No such file or directory\n" +
                                                        dir + "text.ppm: Not a raw PPM file\n");
  EXPECT_TRUE(collector.messages.empty());
  glmDelete(m);
}

TEST(MessageHandler, ReaderWarningsReachItAndFatalMessagesDoNot) {
  std::string dir = scratchDir();
  writeFile(dir + "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl paint\nf 1 2 3\n");
  Collector collector;
  char error[256];
  GLMmodel* m = glmTryReadOBJ((dir + "m.obj").c_str(), error, sizeof error);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(collector.messages,
            std::vector<std::string>{"glmFindMaterial():  can't find material \"paint\"."});
  glmDelete(m);
  // A failure that ends the process still prints its classic message.
  EXPECT_EXIT(glmReadOBJ((dir + "none.obj").c_str()), testing::ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: can't open data file");
}

TEST(MessageHandler, MayReplaceItselfWhileHandlingAMessage) {
  // The handler runs outside any lock the library holds: setting another
  // one from inside must not deadlock, and the next message goes there.
  struct State {
    int first = 0, second = 0;
  } state;
  static State* current;
  current = &state;
  glmSetMessageHandler(
      [](void*, const char*) {
        current->first++;
        glmSetMessageHandler([](void*, const char*) { current->second++; }, nullptr);
      },
      nullptr);
  GLMmodel* m = triangleAndLooseVertex();
  glmFindMaterial(m, "a");
  glmFindMaterial(m, "b");
  glmFindMaterial(m, "c");
  glmSetMessageHandler(nullptr, nullptr);
  EXPECT_EQ(state.first, 1);
  EXPECT_EQ(state.second, 2);
  glmDelete(m);
}

}  // namespace
