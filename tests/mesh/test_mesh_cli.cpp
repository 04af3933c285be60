// celshade-mesh: each command on a generated model and on a bad one, the
// command line's errors and help, that no partial output is ever left, and
// that the output keeps what the command does not change: the input's
// library in place, the same file after repeated passes, warnings for what
// it cannot keep.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"
#include "support/scene_files.h"

namespace {

using namespace model_builder;

struct Result {
  int status;
  std::string out, err;
};

// Runs the tool with `args`; a file size limit makes writes past it fail.
Result mesh(const std::vector<std::string>& args, rlim_t fileLimit = RLIM_INFINITY) {
  std::string dir = scratchDir();
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen((dir + "out").c_str(), "w", stdout) ||
        !freopen((dir + "err").c_str(), "w", stderr))
      _exit(127);
    if (fileLimit != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit = {fileLimit, fileLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv{const_cast<char*>(CELSHADE_MESH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(dir + "out"),
          readFile(dir + "err")};
}

// A cube from 10 to 12 on every axis whose twelve triangles each have their
// own three vertices (36, eight places), in group "box" with material "red".
std::string cubeObj() {
  const int corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                            {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                           {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
  std::string text = "mtllib cube.mtl\ng box\nusemtl red\n", faces;
  int n = 0;
  for (const auto& q : quads) {
    const int tris[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
    for (const auto& t : tris) {
      for (int k = 0; k < 3; k++) {
        const int* c = corner[t[k]];
        text += "v " + std::to_string(10 + 2 * c[0]) + " " + std::to_string(10 + 2 * c[1]) + " " +
                std::to_string(10 + 2 * c[2]) + "\n";
      }
      faces += "f " + std::to_string(n + 1) + " " + std::to_string(n + 2) + " " +
               std::to_string(n + 3) + "\n";
      n += 3;
    }
  }
  return text + faces;
}

// A folder holding cube.obj, cube.mtl and bad.obj (a face past the vertices).
std::string models() {
  std::string dir = scratchDir();
  writeFile(dir + "cube.obj", cubeObj());
  writeFile(dir + "cube.mtl", "newmtl red\nKd 1 0 0\n");
  writeFile(dir + "bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 9\n");
  return dir;
}

// The model in `path`, read without ending the process.
GLMmodel* load(const std::string& path) {
  char error[256];
  GLMmodel* m = glmTryReadOBJ(path.c_str(), error, sizeof error);
  EXPECT_NE(m, nullptr) << error;
  return m;
}

TEST(MeshCli, InfoTellsCountsGroupsMaterialsAndExtent) {
  std::string dir = models();
  Result r = mesh({"info", dir + "cube.obj"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const char* line :
       {"vertices        36\n", "normals         none\n", "triangles       12\n",
        "materials       2 from cube.mtl\n  default\n  red\n", "groups          2\n",
        "  \" box\": 12 triangles, material red\n",
        "  \"default\": 0 triangles, material default\n",
        "extent          x 10 .. 12, y 10 .. 12, z 10 .. 12\n", "size            2 x 2 x 2\n",
        "has             no normals, no texture coordinates\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
}

TEST(MeshCli, WeldNormalsTextureUnitizeReverseChangeTheModelAndSaySo) {
  std::string dir = models();
  Result weld = mesh({"weld", dir + "cube.obj", dir + "welded.obj"});
  EXPECT_EQ(weld.status, 0) << weld.err;
  EXPECT_EQ(weld.out, "welded 36 vertices into 8\n");
  GLMmodel* m = load(dir + "welded.obj");
  EXPECT_EQ(m->vertexcount, 8u);
  ASSERT_NE(m->materials, nullptr);  // written with what the model has
  glmDelete(m);

  // Around each corner of a cube three faces meet at 90 degrees: above that
  // they share one normal, below it they keep normals of their own.
  Result smooth = mesh({"normals", "--angle=120", dir + "welded.obj", dir + "smooth.obj"});
  EXPECT_EQ(smooth.out, "computed 12 facet normals and 8 vertex normals (smoothing angle 120)\n");
  Result sharp = mesh({"normals", "--angle", "30", dir + "welded.obj", dir + "sharp.obj"});
  m = load(dir + "sharp.obj");
  EXPECT_GE(m->normalcount, 24u);
  EXPECT_EQ(sharp.out, "computed 12 facet normals and " + std::to_string(m->normalcount) +
                           " vertex normals (smoothing angle 30)\n");
  const GLuint sharpNormals = m->normalcount;
  glmDelete(m);

  Result linear = mesh({"texture", "--linear", dir + "welded.obj", dir + "linear.obj"});
  EXPECT_EQ(linear.out, "generated 8 texture coordinates (linear)\n");
  Result sphere = mesh({"texture", "--spheremap", dir + "smooth.obj", dir + "sphere.obj"});
  EXPECT_EQ(sphere.out, "generated 8 texture coordinates (spheremap)\n");
  m = load(dir + "sphere.obj");
  EXPECT_EQ(m->texcoordcount, 8u);
  EXPECT_NE(m->normals, nullptr);
  glmDelete(m);

  // The cube lies away from the origin: it is centred and keeps its size 2.
  Result unitize = mesh({"unitize", dir + "cube.obj", dir + "unit.obj"});
  EXPECT_EQ(unitize.out, "centred and scaled by 1: size 2 x 2 x 2 -> 2 x 2 x 2, x from -1 to 1\n");
  m = load(dir + "unit.obj");
  GLfloat d[3];
  glmDimensions(m, d);
  EXPECT_EQ(d[0], 2.0f);
  glmDelete(m);

  Result reverse = mesh({"reverse", dir + "sharp.obj", dir + "reversed.obj"});
  EXPECT_EQ(reverse.out, "reversed the winding of 12 triangles and negated " +
                             std::to_string(sharpNormals) + " normals\n");
  GLMmodel* before = load(dir + "sharp.obj");
  GLMmodel* after = load(dir + "reversed.obj");
  EXPECT_EQ(after->triangles[0].vertexidx[0], before->triangles[0].vertexidx[2]);
  EXPECT_EQ(after->triangles[0].vertexidx[2], before->triangles[0].vertexidx[0]);
  EXPECT_EQ(after->normals[3], -before->normals[3]);
  glmDelete(before);
  glmDelete(after);
}

TEST(MeshCli, OutputBesideTheInputKeepsTheInputsLibrary) {
  std::string dir = models();
  const std::string library = readFile(dir + "cube.mtl");
  Result weld = mesh({"weld", dir + "cube.obj", dir + "welded.obj"});
  ASSERT_EQ(weld.status, 0) << weld.err;
  EXPECT_EQ(readFile(dir + "cube.mtl"), library);
  EXPECT_NE(readFile(dir + "welded.obj").find("mtllib welded.mtl\n"), std::string::npos);
  GLMmodel* m = load(dir + "welded.obj");
  ASSERT_NE(m->materials, nullptr);
  EXPECT_EQ(m->materials[m->materialcount - 1].diffuse[0], 1.0f);  // red came along
  glmDelete(m);
}

TEST(MeshCli, ModeChoosesWhatIsWritten) {
  std::string dir = models();
  ASSERT_EQ(mesh({"normals", dir + "cube.obj", dir + "n.obj"}).status, 0);
  Result none = mesh({"reverse", "--mode", "none", dir + "n.obj", dir + "plain.obj"});
  EXPECT_EQ(none.status, 0) << none.err;
  std::string plain = readFile(dir + "plain.obj");
  EXPECT_EQ(plain.find("\nvn "), std::string::npos);
  EXPECT_EQ(plain.find("usemtl"), std::string::npos);
  // Asking for what the model lacks: the library's warning on standard error.
  Result texture = mesh({"reverse", "--mode", "smooth,texture", dir + "n.obj", dir + "t.obj"});
  EXPECT_EQ(texture.status, 0);
  EXPECT_EQ(texture.err,
            "celshade-mesh: glmWriteOBJ() warning: texture coordinate output requested with no "
            "texture coordinates defined.\n");
  EXPECT_NE(readFile(dir + "t.obj").find("\nvn "), std::string::npos);
}

TEST(MeshCli, BadModelFailsWithItsLineAndWritesNothing) {
  std::string dir = models();
  const std::string message =
      "celshade-mesh: " + dir + "bad.obj:3: face index out of range: `f 1 2 9`\n";
  Result info = mesh({"info", dir + "bad.obj"});
  EXPECT_EQ(info.status, 1);
  EXPECT_EQ(info.err, message);
  const std::vector<std::vector<std::string>> commands = {
      {"normals"}, {"weld"}, {"texture", "--linear"}, {"unitize"}, {"reverse"}};
  for (std::vector<std::string> args : commands) {
    args.push_back(dir + "bad.obj");
    args.push_back(dir + "out.obj");
    Result r = mesh(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fileExists(dir + "out.obj"));
  }
  Result missing = mesh({"weld", dir + "none.obj", dir + "out.obj"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "celshade-mesh: " + dir + "none.obj: can't open data file\n");
  // Spheremap coordinates need normals the cube does not have.
  Result sphere = mesh({"texture", "--spheremap", dir + "cube.obj", dir + "out.obj"});
  EXPECT_EQ(sphere.status, 1);
  EXPECT_NE(sphere.err.find("need normals"), std::string::npos) << sphere.err;
  EXPECT_FALSE(fileExists(dir + "out.obj"));
}

TEST(MeshCli, FailedWriteLeavesTheEarlierOutput) {
  std::string dir = models();
  writeFile(dir + "out.obj", "earlier");
  Result full = mesh({"weld", "--mode", "none", dir + "cube.obj", dir + "out.obj"}, 200);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "celshade-mesh: " + dir + "out.obj: can't write: File too large\n");
  EXPECT_EQ(full.out, "");
  EXPECT_EQ(readFile(dir + "out.obj"), "earlier");
  Result folder = mesh({"weld", dir + "cube.obj", dir + "none/out.obj"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err,
            "celshade-mesh: " + dir + "none/out.obj: can't open: No such file or directory\n");
}

TEST(MeshCli, BadCommandLinesGiveUsageAndExitTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate", "a.obj"},
      {"info"},
      {"info", "a.obj", "b.obj"},
      {"weld", "a.obj"},
      {"weld", "--epsilon", "-1", "a.obj", "b.obj"},
      {"weld", "--epsilon"},
      {"normals", "--angle", "ninety", "a.obj", "b.obj"},
      {"texture", "a.obj", "b.obj"},
      {"texture", "--linear", "--spheremap", "a.obj", "b.obj"},
      {"reverse", "--mode", "shiny", "a.obj", "b.obj"},
      {"unitize", "--scale", "2", "a.obj", "b.obj"},
  };
  for (const std::vector<std::string>& args : bad) {
    Result r = mesh(args);
    std::string shown = args.empty() ? "(nothing)" : args[0];
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: celshade-mesh "), std::string::npos) << shown << ": " << r.err;
  }
}

TEST(MeshCli, HelpForTheToolAndEachCommand) {
  Result tool = mesh({"--help"});
  EXPECT_EQ(tool.status, 0);
  for (const char* command :
       {"info", "normals", "weld", "texture", "unitize", "reverse", "convert"}) {
    EXPECT_NE(tool.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    Result r = mesh({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("usage: celshade-mesh ") + command + " ", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
  }
}

// ---- What the output keeps --------------------------------------------------

// A spider-like exported model: an object statement, vertex colours, three
// groups of quads under smoothing groups (one group's faces under two
// materials), and a library whose materials have texture maps,
// transparency and illumination models.
void writeSpider(const std::string& dir) {
  std::string obj = "# exported by hand\nmtllib spider.mtl\no Spider\n";
  for (int i = 0; i < 12; i++)
    obj += "v " + std::to_string(i % 4) + " " + std::to_string(i / 4) + " " +
           std::to_string(i % 3) + " 0.5 0.25 1\n";
  obj +=
      "g Body\nusemtl Chitin\ns 1\nf 1 2 6 5\nf 2 3 7 6\n"
      "g Leg01\nusemtl Leg\ns 2\nf 3 4 8 7\nusemtl Chitin\nf 5 6 10 9\n"
      "g Eyes\nusemtl Eye\ns off\nf 6 7 11 10\nf 7 8 12 11\n";
  writeFile(dir + "spider.obj", obj);
  writeFile(dir + "spider.mtl",
            "# three materials\n"
            "newmtl Chitin\nKa 0.1 0.1 0.1\nKd 0.4 0.3 0.2\nKs 0.5 0.5 0.5\nNs 96\nd 1.0\n"
            "illum 2\nmap_Kd chitin.ppm\n\n"
            "newmtl Leg\nKd 0.3 0.2 0.1\nillum 2\nmap_Kd leg.ppm\n\n"
            "newmtl Eye\nKd 1 0 0\nmap_Kd eye.ppm\n");
}

// The same groups (names, order, triangles' corners, material names) and
// the same materials.
void expectSameModel(const GLMmodel* a, const GLMmodel* b) {
  ASSERT_EQ(a->vertexcount, b->vertexcount);
  EXPECT_EQ(memcmp(a->vertices + 3, b->vertices + 3, 3 * sizeof(GLfloat) * a->vertexcount), 0);
  ASSERT_EQ(a->materialcount, b->materialcount);
  for (GLuint i = 0; i < a->materialcount; i++) {
    EXPECT_STREQ(a->materials[i].name, b->materials[i].name);
    EXPECT_EQ(memcmp(a->materials[i].diffuse, b->materials[i].diffuse, 3 * sizeof(GLfloat)), 0);
  }
  ASSERT_EQ(a->groupcount, b->groupcount);
  for (const GLMgroup *g = a->groups, *h = b->groups; g && h; g = g->next, h = h->next) {
    EXPECT_STREQ(g->name, h->name);
    EXPECT_STREQ(a->materials[g->material].name, b->materials[h->material].name);
    ASSERT_EQ(g->trianglecount, h->trianglecount) << g->name;
    for (GLuint i = 0; i < g->trianglecount; i++)
      EXPECT_EQ(memcmp(a->triangles[g->triangles[i]].vertexidx,
                       b->triangles[h->triangles[i]].vertexidx, 3 * sizeof(GLuint)),
                0);
  }
}

// The statements of each material, its map and its name, one line each.
std::string materialText(const GLMmodel* m) {
  std::string text;
  for (GLuint i = 0; i < m->materialcount; i++) {
    const GLMmaterial& mat = m->materials[i];
    text += std::string(mat.name) + ": " + (mat.diffusemap ? mat.diffusemap : "no map") + " | " +
            (mat.statements ? mat.statements : "") + "\n";
  }
  return text;
}

TEST(MeshCli, InPlaceWriteNeverReplacesALibraryWithLessThanItHeld) {
  // The spider's library has maps, transparency and illumination models:
  // written in place, it keeps them all, and the model comes back.
  std::string dir = scratchDir();
  writeSpider(dir);
  GLMmodel* before = load(dir + "spider.obj");
  Result r = mesh({"weld", "--epsilon", "0.001", dir + "spider.obj", dir + "spider.obj"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("spider.mtl"), std::string::npos) << r.err;
  GLMmodel* after = load(dir + "spider.obj");
  expectSameModel(before, after);
  EXPECT_EQ(materialText(after), materialText(before));
  EXPECT_NE(readFile(dir + "spider.mtl").find("illum 2\nmap_Kd leg.ppm\n"), std::string::npos);
  glmDelete(before);
  glmDelete(after);

  // Writing `in` as `out` over the library `name` holding `text` is
  // refused, saying it would lose `lost`, and the library stays.
  auto expectRefused = [&](const std::string& in, const std::string& out, const std::string& name,
                           const std::string& text, const std::string& lost) {
    writeFile(dir + name, text);
    Result refused = mesh({"reverse", dir + in, dir + out});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(name + ": the output's library would replace it, losing " + lost +
                               "; nothing written"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(readFile(dir + name), text);
  };
  // A library of another model's materials is not replaced, nor are the
  // statements of a material the model names alike but holds without them.
  expectRefused("spider.obj", "other.obj", "other.mtl",
                "newmtl Moss\nKd 0 1 0\nnewmtl Eye\nd 0.5\nillum 2\nmap_Ks s.png\n",
                "material \"Moss\", 3 statements of material \"Eye\"");
  EXPECT_FALSE(fileExists(dir + "other.obj"));

  // Words after a material's name are what the writer cannot keep: a
  // library holding them is not written over in place.
  writeFile(dir + "two.obj", "mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Leg\nf 1 2 3\n");
  expectRefused("two.obj", "two.obj", "two.mtl", "newmtl Leg 01\nKd 1 0 0\n",
                "the words after 1 material name");
  r = mesh({"reverse", dir + "two.obj", dir + "elsewhere.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "celshade-mesh: " + dir +
                       "two.mtl: the words after 1 material name not kept (a material's name is "
                       "one word)\n");
}

TEST(MeshCli, FivePassesGiveTheFilesOnePassGives) {
  const std::vector<std::vector<std::string>> commands = {{"normals", "--angle", "60"},
                                                          {"weld", "--epsilon", "0.5"},
                                                          {"unitize"},
                                                          {"texture", "--linear"}};
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    std::string one = scratchDir(), five = scratchDir();
    auto pass = [&](const std::string& dir, const std::string& in) {
      std::vector<std::string> args = command;
      args.push_back(dir + in);
      args.push_back(dir + "out.obj");
      Result r = mesh(args);
      EXPECT_EQ(r.status, 0) << r.err;
    };
    writeSpider(one);
    writeSpider(five);
    pass(one, "spider.obj");
    pass(five, "spider.obj");
    for (int i = 2; i <= 5; i++) pass(five, "out.obj");
    EXPECT_EQ(readFile(five + "out.obj"), readFile(one + "out.obj"));
    EXPECT_EQ(readFile(five + "out.mtl"), readFile(one + "out.mtl"));
  }
}

TEST(MeshCli, ReverseTwiceGivesTheModelBackAndNothingGrows) {
  std::string dir = scratchDir();
  writeSpider(dir);
  ASSERT_EQ(mesh({"reverse", dir + "spider.obj", dir + "out.obj"}).status, 0);
  ASSERT_EQ(mesh({"reverse", dir + "out.obj", dir + "out.obj"}).status, 0);
  GLMmodel* input = load(dir + "spider.obj");
  GLMmodel* twice = load(dir + "out.obj");
  expectSameModel(input, twice);
  glmDelete(input);
  glmDelete(twice);
  // Four passes in all give the text of two: no material, group or blank added.
  const std::string obj = readFile(dir + "out.obj"), mtl = readFile(dir + "out.mtl");
  ASSERT_EQ(mesh({"reverse", dir + "out.obj", dir + "out.obj"}).status, 0);
  ASSERT_EQ(mesh({"reverse", dir + "out.obj", dir + "out.obj"}).status, 0);
  EXPECT_EQ(readFile(dir + "out.obj"), obj);
  EXPECT_EQ(readFile(dir + "out.mtl"), mtl);
  Result info = mesh({"info", dir + "out.obj"});
  EXPECT_NE(
      info.out.find("materials       4 from out.mtl\n  default\n  Chitin, map " + dir +
                    "chitin.ppm\n  Leg, map " + dir + "leg.ppm\n  Eye, map " + dir + "eye.ppm\n"),
      std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("groups          4\n  \" Eyes\": 4 triangles, material Eye\n"
                          "  \" Leg01\": 4 triangles, material Chitin\n"
                          "  \" Body\": 4 triangles, material Chitin\n"
                          "  \"default\": 0 triangles, material default\n"),
            std::string::npos)
      << info.out;
}

TEST(MeshCli, UnitizeFitsAModelFarFromTheOriginIntoMinusOneToOne) {
  std::string dir = scratchDir();
  writeFile(dir + "far.obj", "v 100000 0 0\nv 100010 1 0\nv 100005 0 2\nf 1 2 3\n");
  Result r = mesh({"unitize", dir + "far.obj", dir + "unit.obj"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "centred and scaled by 0.2: size 10 x 1 x 2 -> 2 x 0.2 x 0.4, x from -1 to 1\n");
  GLMmodel* m = load(dir + "unit.obj");
  EXPECT_EQ(m->vertices[3], -1.0f);
  EXPECT_EQ(m->vertices[6], 1.0f);
  EXPECT_EQ(m->vertices[9], 0.0f);
  EXPECT_FLOAT_EQ(m->vertices[7], 0.1f);
  EXPECT_FLOAT_EQ(m->vertices[11], 0.2f);
  glmDelete(m);
  // A model of one point has no size to scale: it is written as it is.
  writeFile(dir + "point.obj", "v 3 3 3\nf 1 1 1\n");
  r = mesh({"unitize", dir + "point.obj", dir + "point-out.obj"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "left as it is (no largest side to scale to 2): size 0 x 0 x 0\n");
  EXPECT_NE(mesh({"unitize", "--help"}).out.find("glmUnitize"), std::string::npos);
}

TEST(MeshCli, WarnsOnceOfEverythingTheOutputCannotKeep) {
  std::string dir = scratchDir();
  writeSpider(dir);
  Result r = mesh({"reverse", dir + "spider.obj", dir + "out.obj"});
  EXPECT_EQ(r.status, 0);
  const std::string obj = "celshade-mesh: " + dir + "spider.obj: ";
  EXPECT_EQ(r.err,
            obj + "12 vertex colours not kept (numbers after x y z on `v` lines)\n" + obj +
                "6 polygons of more than three corners not kept (written as triangles)\n" + obj +
                "material of 1 face not kept (a group takes the last material given to it)\n" +
                obj + "1 `o` statement not kept\n" + obj + "3 `s` statements not kept\n");
  // Passing the output on, there is nothing more to lose.
  Result again = mesh({"reverse", dir + "out.obj", dir + "again.obj"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.err, "");

  // A library that cannot be opened: one warning for it, one for each missing
  // material however often it is used, and the material statements not kept.
  writeFile(dir + "lost.obj",
            "mtllib gone.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\ng a\nusemtl stone\nf 1 2 3\n"
            "usemtl moss\nf 1 2 3\nusemtl stone\nf 1 2 3\nusemtl stone\nf 1 2 3\n");
  r = mesh({"weld", dir + "lost.obj", dir + "found.obj"});
  EXPECT_EQ(r.status, 0);
  const std::string lost = "celshade-mesh: " + dir + "lost.obj";
  EXPECT_EQ(r.err, lost +
                       ":1: can't open material library \"gone.mtl\" (No such file or directory)\n"
                       "celshade-mesh: glmFindMaterial():  can't find material \"stone\".\n"
                       "celshade-mesh: (2 more like it)\n"
                       "celshade-mesh: glmFindMaterial():  can't find material \"moss\".\n" +
                       lost + ": 1 `mtllib` statement not kept (no material library was read)\n" +
                       lost + ": 4 `usemtl` statements not kept (no material library was read)\n");
  EXPECT_EQ(r.out, "welded 3 vertices into 3\n");
  EXPECT_TRUE(fileExists(dir + "found.obj"));
}

TEST(MeshCli, ReadsFilesAsOtherToolsWriteThemUnlessStrictEachWarningOnce) {
  std::string dir = scratchDir();
  const std::string quad = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n";
  writeFile(dir + "skin.obj", "o body\n" + quad +
                                  "s 1\nvw 1 0.5\nvw 2 0.5\nvw 3 0.5\n"
                                  "cstype bspline\nmtllib skin.mtl\nusemtl metal\nf 1 2 4 3\n");
  writeFile(dir + "skin.mtl", "newmtl metal\nKd 0.6 0.6 0.6\nnorm -bm 3 n.jpg\nPr 0.3\n");
  // The reader warns of what it does not know, the tool of what it skips
  // by rule and of what the output cannot keep: nothing twice.
  const std::string obj = "celshade-mesh: " + dir + "skin.obj: ";
  const std::string mtl = "celshade-mesh: " + dir + "skin.mtl: ";
  Result r = mesh({"convert", dir + "skin.obj", dir + "out.obj"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, obj + "3 \"vw\" statements skipped\n" + obj +
                       "1 \"cstype\" statement skipped\n" + obj +
                       "1 polygons of more than three corners not kept (written as triangles)\n" +
                       obj + "1 `o` statement not kept\n" + obj + "1 `s` statement not kept\n");
  EXPECT_EQ(r.out, "converted 4 vertices, 2 triangles, 1 groups, 2 materials\n");

  Result strict = mesh({"convert", "--strict", dir + "skin.obj", dir + "out.obj"});
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.err, "celshade-mesh: " + dir + "skin.obj:7: unknown token \"vw\"\n");
  // By the classic rules the tool counts every statement the reader passes
  // over, and norm names a material, of one word.
  writeFile(dir + "curve.obj", quad + "cstype bspline\nmtllib skin.mtl\nf 1 2 3\n");
  strict = mesh({"info", "--strict", dir + "curve.obj"});
  EXPECT_NE(strict.out.find("materials       3 from skin.mtl\n"), std::string::npos) << strict.out;
  strict = mesh({"convert", "--strict", dir + "curve.obj", dir + "curve-out.obj"});
  EXPECT_EQ(strict.err,
            "celshade-mesh: " + dir + "curve.obj: 1 `cstype` statement not kept\n" + mtl +
                "the words after 1 material name not kept (a material's name is one word)\n");

  // Lines ending in lone carriage returns are lines to the tool too.
  writeFile(dir + "mac.obj", "v 0 0 0\rv 1 0 0\rv 0 1 0\rs 1\rf 1 2 3\r");
  r = mesh({"convert", dir + "mac.obj", dir + "out.obj"});
  EXPECT_EQ(r.err, "celshade-mesh: " + dir + "mac.obj: 1 `s` statement not kept\n");
  EXPECT_EQ(r.out, "converted 3 vertices, 1 triangles, 1 groups, 0 materials\n");
}

#if CELSHADE_ASSIMP

TEST(MeshCli, ConvertWritesAnyModelAsObjTheReaderTakesBack) {
  std::string dir = scratchDir();
  scene_files::writeGltf(dir, true);
  Result info = mesh({"info", dir + "parts.gltf"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("triangles       4\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("has             vertex normals, texture coordinates\n"),
            std::string::npos)
      << info.out;

  Result convert = mesh({"convert", dir + "parts.gltf", dir + "parts.obj"});
  EXPECT_EQ(convert.status, 0) << convert.err;
  EXPECT_EQ(convert.err, "");
  EXPECT_EQ(convert.out, "converted 12 vertices, 4 triangles, 5 groups, 4 materials\n");
  GLMmodel* m = load(dir + "parts.obj");
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->mtllib, "parts.mtl");  // named after OUT
  EXPECT_EQ(m->vertexcount, 12u);
  EXPECT_EQ(m->normalcount, 12u);
  EXPECT_EQ(m->texcoordcount, 10u);  // nine, and the one the tail's corners share
  EXPECT_EQ(m->trianglecount, 4u);
  // The reader keeps the blank after "g" in a group's name.
  const GLMgroup* wing = glmFindGroup(m, " Wing.2");
  ASSERT_NE(wing, nullptr);
  const GLMtriangle& t = m->triangles[wing->triangles[0]];
  EXPECT_EQ(m->vertices[3 * t.vertexidx[2]], -1.0f);  // the mirrored copy, as placed
  EXPECT_EQ(m->normals[3 * t.normalidx[2]], -0.6f);
  const GLMmaterial& glossy = m->materials[glmFindMaterial(m, "material2")];
  EXPECT_STREQ(glossy.name, "material2");
  EXPECT_EQ(glossy.specular[0], 0.5f);
  EXPECT_EQ(glossy.shininess, 64.0f);
  glmDelete(m);
}

TEST(MeshCli, ModelsThatCannotBeReadFailEveryCommand) {
  std::string dir = scratchDir();
  writeFile(dir + "noise.xyz", "nothing a reader knows\n");
  writeFile(dir + "cloud.ply",
            "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
            "property float z\nend_header\n0 0 0\n");
  for (const char* in : {"noise.xyz", "cloud.ply"}) {
    const std::string name = dir + in;
    for (const char* command : {"info", "convert", "weld"}) {
      Result r = command == std::string("info") ? mesh({command, name})
                                                : mesh({command, name, dir + "out.obj"});
      EXPECT_EQ(r.status, 1) << command << " " << in;
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err.rfind("celshade-mesh: " + name + ": ", 0), 0u) << r.err;
      EXPECT_FALSE(fileExists(dir + "out.obj"));
    }
  }
  EXPECT_EQ(mesh({"info", dir + "cloud.ply"}).err,
            "celshade-mesh: " + dir + "cloud.ply: no faces to draw\n");
}

// `bytes` in base64.
std::string base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    unsigned n = (unsigned char)bytes[i] << 16;
    if (i + 1 < bytes.size()) n |= (unsigned char)bytes[i + 1] << 8;
    if (i + 2 < bytes.size()) n |= (unsigned char)bytes[i + 2];
    out += kDigits[n >> 18 & 63];
    out += kDigits[n >> 12 & 63];
    out += i + 1 < bytes.size() ? kDigits[n >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

TEST(MeshCli, TexturesOfOtherFormatsAreKeptAndEmbeddedOnesWrittenBesideTheOutput) {
  const std::string dir = scratchDir();
  ASSERT_EQ(mkdir((dir + "tex").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "out").c_str(), 0755), 0);
  writeFile(dir + "tex/wood.png", "wood");
  const std::string inlaid = std::string("\x89PNG\r\n\x1a\n", 8) + "inlaid texels";
  const float data[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1};  // positions, texcoords
  const unsigned short indices[4] = {0, 1, 2, 0};
  std::string bin(reinterpret_cast<const char*>(data), sizeof data);
  bin.append(reinterpret_cast<const char*>(indices), sizeof indices);
  writeFile(dir + "board.bin", bin);
  writeFile(dir + "board.gltf", R"({
  "asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0, 1]}],
  "nodes": [{"mesh": 0}, {"mesh": 1, "translation": [2, 0, 0]}],
  "meshes": [
    {"name": "a", "primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "indices": 2, "material": 0}]},
    {"name": "b", "primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "indices": 2, "material": 1}]}],
  "materials": [
    {"name": "wooden", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}},
    {"name": "inlaid", "pbrMetallicRoughness": {"baseColorTexture": {"index": 1}}}],
  "textures": [{"source": 0}, {"source": 1}],
  "images": [{"uri": "tex/wood.png"}, {"uri": "data:image/png;base64,)" +
                                    base64(inlaid) + R"("}],
  "buffers": [{"uri": "board.bin", "byteLength": 68}],
  "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                  {"buffer": 0, "byteOffset": 36, "byteLength": 24},
                  {"buffer": 0, "byteOffset": 60, "byteLength": 6}],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
    {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC2"},
    {"bufferView": 2, "componentType": 5123, "count": 3, "type": "SCALAR"}]
})");
  Result info = mesh({"info", dir + "board.gltf"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("  wooden, map " + dir + "tex/wood.png\n"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("  inlaid, map embedded image 0 (png, " + std::to_string(inlaid.size()) +
                          " bytes)\n"),
            std::string::npos)
      << info.out;

  Result r = mesh({"convert", dir + "board.gltf", dir + "out/board.obj"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir + "out/board-0.png"), inlaid);
  const std::string mtl = readFile(dir + "out/board.mtl");
  EXPECT_NE(mtl.find("newmtl wooden\n"), std::string::npos) << mtl;
  EXPECT_NE(mtl.find("map_Kd ../tex/wood.png\n"), std::string::npos) << mtl;
  EXPECT_NE(mtl.find("map_Kd board-0.png\n"), std::string::npos) << mtl;
  // Read back, both maps name the images.
  GLMmodel* m = load(dir + "out/board.obj");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(readFile(m->materials[glmFindMaterial(m, "wooden")].diffusemap), "wood");
  EXPECT_EQ(readFile(m->materials[glmFindMaterial(m, "inlaid")].diffusemap), inlaid);
  glmDelete(m);
}

#else

TEST(MeshCli, WithoutAssimpOnlyObjFilesAreRead) {
  std::string dir = scratchDir();
  writeFile(dir + "part.stl", scene_files::kBracketStl);
  Result r = mesh({"convert", dir + "part.stl", dir + "part.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "celshade-mesh: " + dir +
                       "part.stl: only OBJ files can be read (this celshade was built without "
                       "assimp)\n");
}

#endif

}  // namespace
