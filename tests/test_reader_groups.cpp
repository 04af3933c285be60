// Groups and material uses: untrimmed group names, the group list, which
// material each group ends with, and where library names are looked up.
#include "support/reader_support.h"

#include <vector>

using namespace reader_test;

namespace {

const char kTriangle[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\n";
const char kColours[] = "newmtl red\nKd 1 0 0\nnewmtl green\nKd 0 1 0\nnewmtl blue\nKd 0 0 1\n";

TEST(Groups, NamesKeepEverythingUpToTheNewline) {
  Model m = mustRead(std::string(kTriangle) +
                     "g body\nf 1 2 3\ng a b \nf 1 2 3\ng default\nf 1 2 3\ng\nf 1 2 3\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(groupList(m.get()),
            "[] m0: 3\n[ default] m0: 2\n[ a b ] m0: 1\n[ body] m0: 0\n[default] m0:\n");
  EXPECT_EQ(m->groupcount, 5u);
}

TEST(Groups, CarriageReturnsStayInGroupNames) {
  Model m = mustRead(std::string(kTriangle) + "g body\r\nf 1 2 3\r\n");
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->groups->name, " body\r");
}

TEST(Groups, AGroupOnTheLastLineWithoutNewlineKeepsItsLastCharacter) {
  Model m = mustRead("g tail");
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->groups->name, " tail");
}

TEST(Groups, SectionsOfOneNameFormOneGroupInFileOrder) {
  Model m = mustRead(std::string(kTriangle) +
                     "f 1 2 3\ng body\nf 1 2 3\ng arm\nf 1 2 3 1\ng body\nf 1 2 3\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(groupList(m.get()), "[ arm] m0: 2 3\n[ body] m0: 1 4\n[default] m0: 0\n");
}

TEST(Groups, EveryTriangleBelongsToExactlyOneGroup) {
  Model m = mustRead(std::string(kTriangle) + "g a\nf 1 2 3 1 2\ng b\nf 1 2 3\ng a\nf 3 2 1\n");
  ASSERT_TRUE(m);
  std::vector<int> seen(m->trianglecount, 0);
  GLuint total = 0;
  for (GLMgroup* g = m->groups; g; g = g->next) {
    total += g->trianglecount;
    for (GLuint i = 0; i < g->trianglecount; i++) {
      ASSERT_LT(g->triangles[i], m->trianglecount);
      seen[g->triangles[i]]++;
    }
  }
  EXPECT_EQ(total, m->trianglecount);
  for (int count : seen) EXPECT_EQ(count, 1);
}

TEST(Materials, GroupsTakeTheCurrentMaterialAtTheirLastGroupOrUseStatement) {
  Model m = mustRead(std::string(kTriangle) +
                         "mtllib c.mtl\n"
                         "g first\nusemtl green\nf 1 2 3\n"
                         "g second\nf 1 2 3\n"  // carries green over
                         "usemtl blue\n"        // second becomes blue
                         "g first\nf 1 2 3\n"   // first becomes blue too
                         "g third\nusemtl red\ng untouched\n",
                     {{"c.mtl", kColours}});
  ASSERT_TRUE(m);
  EXPECT_EQ(groupList(m.get()),
            "[ untouched] m1:\n[ third] m1:\n[ second] m3: 1\n[ first] m3: 0 2\n[default] m0:\n");
}

TEST(Materials, UsesAboveTheLibraryStatementFindItsMaterials) {
  Model m = mustRead(std::string(kTriangle) + "usemtl blue\nf 1 2 3\nmtllib c.mtl\n",
                     {{"c.mtl", kColours}});
  ASSERT_TRUE(m);
  EXPECT_EQ(m->groups->material, 3u);
}

TEST(Materials, TheLastLibraryStatementWins) {
  testing::internal::CaptureStdout();
  Model m =
      mustRead(std::string(kTriangle) + "mtllib one.mtl\nusemtl solo\nusemtl blue\nmtllib c.mtl\n",
               {{"one.mtl", "newmtl solo\n"}, {"c.mtl", kColours}});
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->mtllib, "c.mtl");
  EXPECT_EQ(m->materialcount, 4u);
  EXPECT_STREQ(m->materials[1].name, "red");
  EXPECT_EQ(m->groups->material, 3u);
  EXPECT_EQ(out, "glmFindMaterial():  can't find material \"solo\".\n");
}

TEST(Materials, UnknownNamesPrintOncePerUseAndGiveMaterialZero) {
  testing::internal::CaptureStdout();
  Model m = mustRead(std::string(kTriangle) + "mtllib c.mtl\ng x\nusemtl Red\nusemtl Red\n",
                     {{"c.mtl", kColours}});
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->groups->material, 0u);
  EXPECT_EQ(out,
            "glmFindMaterial():  can't find material \"Red\".\n"
            "glmFindMaterial():  can't find material \"Red\".\n");
}

TEST(Materials, UsesWithoutAnyLibraryPrintAndKeepMaterialZero) {
  testing::internal::CaptureStdout();
  Model m = mustRead(std::string(kTriangle) + "usemtl red\nf 1 2 3\n");
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->materials, nullptr);
  EXPECT_EQ(m->groups->material, 0u);
  EXPECT_EQ(out, "glmFindMaterial():  can't find material \"red\".\n");
}

TEST(Materials, NamesAreTheFirstWordWithoutLineEnds) {
  testing::internal::CaptureStdout();
  Model m = mustRead(std::string(kTriangle) + "mtllib  c.mtl  extra.mtl\r\nusemtl\tgreen  \r\n",
                     {{"c.mtl", kColours}});
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->mtllib, "c.mtl");
  EXPECT_EQ(m->groups->material, 2u);
  EXPECT_EQ(out, "");
}

TEST(Materials, LibrariesAreLookedUpBesideTheModel) {
  Libraries libs = {{"models/obj/c.mtl", kColours}};
  Model m = mustRead("mtllib c.mtl\n", libs, "models/obj/cow.obj");
  ASSERT_TRUE(m);
  EXPECT_STREQ(m->path, "models/obj/cow.obj");
  EXPECT_EQ(m->materialcount, 4u);
  // The name is appended as written, subdirectories included.
  Model sub =
      mustRead("mtllib ../obj/c.mtl\n", {{"models/../obj/c.mtl", kColours}}, "models/x.obj");
  EXPECT_TRUE(sub);
}

}  // namespace
