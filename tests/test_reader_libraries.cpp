// Optional material libraries: one that cannot be opened is a warning with
// the OBJ file's line, and the read goes on with the materials it had.
#include "support/message_collector.h"
#include "support/reader_support.h"

#include <string>
#include <vector>

using namespace reader_test;

namespace {

Read readOptional(const std::string& obj, Libraries libs = {}) {
  char error[512] = "(untouched)";
  GLMmodel* m = glmReadOBJTextWith("dir/test.obj", obj.data(), obj.size(), libraryText, &libs,
                                   GLM_READ_OPTIONAL_LIBRARIES, error, sizeof error);
  return Read{Model(m), m ? std::string() : std::string(error)};
}

const char* const kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

TEST(OptionalLibraries, AMissingLibraryWarnsOnceWithItsLineAndTheModelHasNoMaterials) {
  Collector warnings;
  Read r = readOptional(std::string(kTriangle) + "mtllib gone.mtl\nusemtl red\nf 1 2 3\n");
  ASSERT_TRUE(r.model) << r.error;
  EXPECT_EQ(r.model->trianglecount, 1u);
  EXPECT_EQ(r.model->materials, nullptr);
  EXPECT_STREQ(r.model->mtllib, "gone.mtl");
  ASSERT_GE(warnings.messages.size(), 1u);
  EXPECT_EQ(warnings.messages[0],
            "dir/test.obj:4: can't open material library \"gone.mtl\" (No such file or directory)");
  EXPECT_EQ(warnings.messages.size(), 2u);  // and the material use finds nothing
}

TEST(OptionalLibraries, ALaterMissingLibraryKeepsTheMaterialsOfTheOneBefore) {
  Collector warnings;
  Read r =
      readOptional(std::string(kTriangle) + "mtllib m.mtl\nmtllib gone.mtl\nusemtl red\nf 1 2 3\n",
                   {{"dir/m.mtl", "newmtl red\nKd 1 0 0\n"}});
  ASSERT_TRUE(r.model) << r.error;
  ASSERT_EQ(r.model->materialcount, 2u);
  EXPECT_EQ(r.model->groups->material, 1u);
  EXPECT_EQ(warnings.messages,
            std::vector<std::string>{"dir/test.obj:5: can't open material library \"gone.mtl\" "
                                     "(No such file or directory)"});
}

TEST(OptionalLibraries, WithoutTheFlagAMissingLibraryIsStillAnError) {
  Read r = readText(std::string(kTriangle) + "mtllib gone.mtl\nf 1 2 3\n", {}, "dir/test.obj");
  EXPECT_FALSE(r.model);
  EXPECT_EQ(r.error, "dir/gone.mtl: can't open material file");
}

TEST(OptionalLibraries, ALibraryThatOpensButIsBadIsStillAnError) {
  Read r = readOptional(std::string(kTriangle) + "mtllib m.mtl\nf 1 2 3\n",
                        {{"dir/m.mtl", std::string("\xff\xfe", 2)}});
  EXPECT_FALSE(r.model);
  EXPECT_NE(r.error.find("UTF-16"), std::string::npos) << r.error;
}

TEST(OptionalLibraries, AFileThatCannotBeOpenedGivesItsReason) {
  TempDir dir;
  std::string obj = dir.write("m.obj", std::string(kTriangle) + "mtllib lib\nf 1 2 3\n");
  std::string folder = dir.path + "/lib";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  Collector warnings;
  char error[256] = "";
  Model m(glmTryReadOBJWith(obj.c_str(), GLM_READ_OPTIONAL_LIBRARIES, error, sizeof error));
  rmdir(folder.c_str());
  ASSERT_TRUE(m) << error;
  ASSERT_EQ(warnings.messages.size(), 1u);
  EXPECT_EQ(warnings.messages[0], obj + ":4: can't open material library \"lib\" (Is a directory)");
}

}  // namespace
