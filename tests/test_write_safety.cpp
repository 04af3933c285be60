// Writing without ending the process and without partial files:
// glmTryWriteOBJ's output and failures, what a failed write leaves, and
// where the files go: never where a name read from a file points outside
// the output's folder, whatever the length of the names, through links.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

using namespace model_builder;

// Every name in a folder, dot files included.
std::set<std::string> listDir(const std::string& dir) {
  std::set<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
  closedir(d);
  return names;
}

// fullSquare with enough vertices to make an OBJ file of about 100 kB.
GLMmodel* bigSquare() {
  GLMmodel* m = fullSquare();
  std::vector<float> xyz;
  for (int i = 0; i < 3000; i++) xyz.insert(xyz.end(), {float(i), 0.5f, -float(i)});
  setVertices(m, xyz);
  return m;
}

// glmTryWriteOBJ's result and message ("" on success, the buffer untouched).
struct Attempt {
  bool ok;
  std::string error;
};
Attempt tryWrite(GLMmodel* m, const std::string& path, GLuint mode) {
  char error[512] = "untouched";
  bool ok = glmTryWriteOBJ(m, path.c_str(), mode, error, sizeof error);
  return {ok, error};
}

// Files limited to `bytes` while it lives: writes beyond fail with EFBIG, as
// they would on a full disk (SIGXFSZ ignored).
struct FileSizeLimit {
  rlimit saved;
  void (*savedHandler)(int);
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved);
    savedHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);
  }
};

// A tmpfs mounted on a fresh folder (root only), unmounted at the end.
struct SmallTmpfs {
  std::string dir = scratchDir();
  bool mounted;
  explicit SmallTmpfs(const char* options, unsigned long flags = 0)
      : mounted(mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0) {}
  ~SmallTmpfs() {
    if (mounted) umount2(dir.c_str(), MNT_DETACH);
  }
};

TEST(TryWriteObj, WritesWhatWriteObjWritesAndLeavesTheErrorAlone) {
  GLMmodel* m = fullSquare();
  const GLuint modes[] = {0, GLM_FLAT | GLM_TEXTURE, GLM_SMOOTH | GLM_TEXTURE | GLM_MATERIAL};
  for (GLuint mode : modes) {
    SCOPED_TRACE(mode);
    std::string a = scratchDir(), b = scratchDir();
    glmWriteOBJ(m, (a + "out.obj").c_str(), mode);
    Attempt attempt = tryWrite(m, b + "out.obj", mode);
    EXPECT_TRUE(attempt.ok);
    EXPECT_EQ(attempt.error, "untouched");
    EXPECT_EQ(readFile(b + "out.obj"), readFile(a + "out.obj"));
    EXPECT_EQ(readFile(b + "parts.mtl"), readFile(a + "parts.mtl"));
    EXPECT_EQ(listDir(b), listDir(a));  // no temporary file left
  }
  glmDelete(m);
}

TEST(TryWriteObj, FolderThatCannotTakeTheFileFailsWithItsName) {
  GLMmodel* m = fullSquare();
  std::string dir = scratchDir();
  Attempt missing = tryWrite(m, dir + "none/out.obj", 0);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error, dir + "none/out.obj: can't open: No such file or directory");

  writeFile(dir + "plain", "a file, not a folder");
  Attempt notDir = tryWrite(m, dir + "plain/out.obj", 0);
  EXPECT_FALSE(notDir.ok);
  EXPECT_EQ(notDir.error, dir + "plain/out.obj: can't open: Not a directory");

  // A library name with a folder that does not exist: the MTL is at fault and
  // the OBJ file is not made either.
  setMtllib(m, "sub/parts.mtl");
  Attempt mtl = tryWrite(m, dir + "out.obj", GLM_MATERIAL);
  EXPECT_FALSE(mtl.ok);
  EXPECT_EQ(mtl.error, dir + "sub/parts.mtl: can't open: No such file or directory");
  EXPECT_EQ(listDir(dir), std::set<std::string>{"plain"});

  // A short buffer gets the start of the message, terminated.
  char shortError[8];
  EXPECT_FALSE(glmTryWriteOBJ(m, "/nonexistent-dir/x.obj", 0, shortError, sizeof shortError));
  EXPECT_STREQ(shortError, "/nonexi");
  EXPECT_FALSE(glmTryWriteOBJ(m, "/nonexistent-dir/x.obj", 0, nullptr, 0));
  glmDelete(m);
}

TEST(TryWriteObj, ReadOnlyFolderFails) {
  GLMmodel* m = fullSquare();
  std::string dir;
  SmallTmpfs readOnly("size=64k", MS_RDONLY);
  if (geteuid() == 0) {
    // root writes into any folder whatever its permissions: a read-only mount.
    if (!readOnly.mounted) GTEST_SKIP() << "root, and no read-only tmpfs could be mounted";
    dir = readOnly.dir;
  } else {
    dir = scratchDir();
    chmod(dir.c_str(), 0555);
  }
  Attempt attempt = tryWrite(m, dir + "out.obj", 0);
  EXPECT_FALSE(attempt.ok);
  EXPECT_EQ(attempt.error.rfind(dir + "out.obj: can't open: ", 0), 0u) << attempt.error;
  EXPECT_TRUE(listDir(dir).empty());
  chmod(dir.c_str(), 0755);
  glmDelete(m);
}

TEST(TryWriteObj, WriteErrorKeepsTheEarlierFilesAndLeavesNothingBehind) {
  GLMmodel* m = bigSquare();
  std::string dir = scratchDir();
  writeFile(dir + "out.obj", "earlier obj");
  writeFile(dir + "parts.mtl", "earlier mtl");
  const std::set<std::string> before = listDir(dir);
  Attempt attempt;
  {
    FileSizeLimit limit(16 << 10);  // the MTL fits, the OBJ does not
    attempt = tryWrite(m, dir + "out.obj", GLM_SMOOTH | GLM_MATERIAL);
  }
  EXPECT_FALSE(attempt.ok);
  EXPECT_EQ(attempt.error, dir + "out.obj: can't write: File too large");
  EXPECT_EQ(readFile(dir + "out.obj"), "earlier obj");
  EXPECT_EQ(readFile(dir + "parts.mtl"), "earlier mtl");
  EXPECT_EQ(listDir(dir), before);

  EXPECT_TRUE(tryWrite(m, dir + "out.obj", GLM_SMOOTH | GLM_MATERIAL).ok);
  EXPECT_GT(readFile(dir + "out.obj").size(), size_t(16 << 10));
  EXPECT_NE(readFile(dir + "parts.mtl"), "earlier mtl");
  glmDelete(m);
}

TEST(TryWriteObj, FullDiskKeepsTheEarlierFileAndLeavesNothingBehind) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  SmallTmpfs disk("size=32k");
  if (!disk.mounted) GTEST_SKIP() << "no tmpfs could be mounted";
  GLMmodel* m = bigSquare();
  writeFile(disk.dir + "out.obj", "earlier");
  Attempt attempt = tryWrite(m, disk.dir + "out.obj", GLM_SMOOTH);
  EXPECT_FALSE(attempt.ok);
  EXPECT_EQ(attempt.error, disk.dir + "out.obj: can't write: No space left on device");
  EXPECT_EQ(readFile(disk.dir + "out.obj"), "earlier");
  EXPECT_EQ(listDir(disk.dir), std::set<std::string>{"out.obj"});
  glmDelete(m);
}

TEST(TryWriteObj, ReplacedFilesKeepTheirPermissionsAndLinks) {
  GLMmodel* m = fullSquare();
  std::string dir = scratchDir();
  mode_t savedMask = umask(022);
  ASSERT_TRUE(tryWrite(m, dir + "new.obj", 0).ok);
  struct stat st;
  ASSERT_EQ(stat((dir + "new.obj").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  writeFile(dir + "private.obj", "earlier");
  chmod((dir + "private.obj").c_str(), 0600);
  ASSERT_TRUE(tryWrite(m, dir + "private.obj", 0).ok);
  ASSERT_EQ(stat((dir + "private.obj").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  umask(savedMask);

  // A link is followed: the file it names gets the text, the link stays.
  ASSERT_EQ(symlink("new.obj", (dir + "link.obj").c_str()), 0);
  writeFile(dir + "new.obj", "earlier");
  ASSERT_TRUE(tryWrite(m, dir + "link.obj", 0).ok);
  ASSERT_EQ(lstat((dir + "link.obj").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(dir + "new.obj"), readFile(dir + "private.obj"));

  // A device is written directly, not replaced.
  EXPECT_TRUE(tryWrite(m, "/dev/null", 0).ok);
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  glmDelete(m);
}

TEST(TryWriteObj, ThreadsWritingBesideEachOtherGetTheirOwnFiles) {
  GLMmodel* m = fullSquare();
  std::string dir = scratchDir(), want = scratchDir();
  glmWriteOBJ(m, (want + "one.obj").c_str(), GLM_SMOOTH);
  bool ok[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&, t] {
      ok[t] = true;
      for (int i = 0; i < 50; i++)
        ok[t] =
            glmTryWriteOBJ(m, (dir + std::to_string(t) + ".obj").c_str(), GLM_SMOOTH, nullptr, 0) &&
            ok[t];
    });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; t++) {
    EXPECT_TRUE(ok[t]);
    EXPECT_EQ(readFile(dir + std::to_string(t) + ".obj"), readFile(want + "one.obj"));
  }
  EXPECT_EQ(listDir(dir).size(), 4u);
  glmDelete(m);
}

// Collects the library's warnings while it lives.
struct Warnings {
  std::vector<std::string> lines;
  Warnings() {
    glmSetMessageHandler(
        [](void* user, const char* line) { static_cast<Warnings*>(user)->lines.push_back(line); },
        this);
  }
  ~Warnings() { glmSetMessageHandler(nullptr, nullptr); }
};

// The "mtllib" line of an OBJ text, or "".
std::string mtllibLine(const std::string& obj) {
  size_t at = obj.find("\nmtllib ");
  return at == std::string::npos ? "" : obj.substr(at + 1, obj.find('\n', at + 1) - at - 1);
}

TEST(TryWriteObj, LibraryNamedOutsideTheFolderIsWrittenBesideTheObjFile) {
  GLMmodel* m = fullSquare();
  std::string dir = scratchDir();
  ASSERT_EQ(mkdir((dir + "deep").c_str(), 0755), 0);
  writeFile(dir + "lib.mtl", "a file of the user's");
  const std::string obj = dir + "deep/x.obj";
  struct Case {
    std::string name, written;  // as the model holds it, as written
  };
  const Case outside[] = {{"../lib.mtl", "lib.mtl"},
                          {dir + "lib.mtl", "lib.mtl"},  // absolute
                          {"sub/../../lib.mtl", "lib.mtl"},
                          {"..", "x.mtl"},  // no file name of its own
                          {"../", "x.mtl"}};
  for (const Case& c : outside) {
    SCOPED_TRACE(c.name);
    setMtllib(m, c.name.c_str());
    Warnings warnings;
    ASSERT_TRUE(tryWrite(m, obj, GLM_MATERIAL).ok);
    EXPECT_EQ(readFile(dir + "lib.mtl"), "a file of the user's");
    EXPECT_EQ(mtllibLine(readFile(obj)), "mtllib " + c.written);
    EXPECT_NE(readFile(dir + "deep/" + c.written).find("newmtl red\n"), std::string::npos);
    EXPECT_EQ(warnings.lines,
              std::vector<std::string>{"glmWriteOBJ() warning: material library \"" + c.name +
                                       "\" lies outside the folder of \"" + obj +
                                       "\": written as \"" + c.written + "\" beside it"});
    remove((dir + "deep/" + c.written).c_str());
  }
  // Names that stay inside the folder are written as they are, quietly.
  ASSERT_EQ(mkdir((dir + "deep/sub").c_str(), 0755), 0);
  for (const char* name : {"sub/m.mtl", "./in.mtl", "..m.mtl", "m..mtl", "sub/..."}) {
    SCOPED_TRACE(name);
    setMtllib(m, name);
    Warnings warnings;
    ASSERT_TRUE(tryWrite(m, obj, GLM_MATERIAL).ok);
    EXPECT_EQ(mtllibLine(readFile(obj)), std::string("mtllib ") + name);
    EXPECT_TRUE(fileExists(dir + "deep/" + name));
    EXPECT_TRUE(warnings.lines.empty());
  }
  glmDelete(m);
}

// A model reads its library through "..", and what is written of it reads
// back with the same materials.
TEST(TryWriteObj, ModelReadThroughDotDotWritesAndReadsBack) {
  std::string dir = scratchDir();
  ASSERT_EQ(mkdir((dir + "shared").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "in").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "out").c_str(), 0755), 0);
  writeFile(dir + "shared/lib.mtl", "newmtl red\nKd 1 0 0\n");
  writeFile(dir + "in/m.obj",
            "mtllib ../shared/lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\ng a\nusemtl red\nf 1 2 3\n");
  char error[512];
  GLMmodel* m = glmTryReadOBJ((dir + "in/m.obj").c_str(), error, sizeof error);
  ASSERT_NE(m, nullptr) << error;
  ASSERT_EQ(m->materialcount, 2u);
  Warnings warnings;
  ASSERT_TRUE(tryWrite(m, dir + "out/m.obj", GLM_MATERIAL).ok);
  EXPECT_EQ(warnings.lines.size(), 1u);
  GLMmodel* r = glmTryReadOBJ((dir + "out/m.obj").c_str(), error, sizeof error);
  ASSERT_NE(r, nullptr) << error;
  EXPECT_STREQ(r->mtllib, "lib.mtl");
  ASSERT_EQ(r->materialcount, 2u);
  EXPECT_EQ(r->materials[1].diffuse[0], 1.0f);
  EXPECT_EQ(r->groups->material, 1u);
  EXPECT_EQ(readFile(dir + "shared/lib.mtl"), "newmtl red\nKd 1 0 0\n");
  glmDelete(r);
  glmDelete(m);
}

TEST(TryWriteObj, NamesUpToTheLongestTheSystemTakesAreWritten) {
  GLMmodel* m = fullSquare();
  std::string dir = scratchDir();
  const long longest = pathconf(dir.c_str(), _PC_NAME_MAX);
  ASSERT_GE(longest, 64);
  for (long length : {longest - 14, longest - 1, longest}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(size_t(length) - 4, 'o') + ".obj";
    Attempt attempt = tryWrite(m, dir + name, 0);
    EXPECT_TRUE(attempt.ok) << attempt.error;
    EXPECT_TRUE(fileExists(dir + name));
  }
  // A library name as long, as read from a file.
  const std::string library = std::string(size_t(longest) - 4, 'l') + ".mtl";
  setMtllib(m, library.c_str());
  EXPECT_TRUE(tryWrite(m, dir + "out.obj", GLM_MATERIAL).ok);
  EXPECT_NE(readFile(dir + library).find("newmtl red"), std::string::npos);
  // One byte more is not a name the system takes.
  Attempt tooLong = tryWrite(m, dir + std::string(size_t(longest) + 1, 'x'), 0);
  EXPECT_FALSE(tooLong.ok);
  EXPECT_NE(tooLong.error.find(": can't open: File name too long"), std::string::npos)
      << tooLong.error;
  EXPECT_EQ(listDir(dir).size(), 5u);  // three OBJ files, out.obj, the library: no temporary
  glmDelete(m);
}

TEST(TryWriteObj, DanglingLinkGetsItsTargetAndLoopFailsNamingTheFile) {
  GLMmodel* m = fullSquare();
  std::string dir = scratchDir();
  ASSERT_EQ(mkdir((dir + "sub").c_str(), 0755), 0);
  ASSERT_TRUE(tryWrite(m, dir + "want.obj", 0).ok);
  // A chain: out.obj -> sub/hop.obj -> target.obj (relative to sub/), which
  // does not exist yet.
  ASSERT_EQ(symlink("sub/hop.obj", (dir + "out.obj").c_str()), 0);
  ASSERT_EQ(symlink("target.obj", (dir + "sub/hop.obj").c_str()), 0);
  ASSERT_TRUE(tryWrite(m, dir + "out.obj", 0).ok);
  struct stat st;
  ASSERT_EQ(lstat((dir + "out.obj").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(lstat((dir + "sub/hop.obj").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(dir + "sub/target.obj"), readFile(dir + "want.obj"));
  EXPECT_EQ(listDir(dir + "sub"), (std::set<std::string>{"hop.obj", "target.obj"}));

  ASSERT_EQ(symlink("loop2.obj", (dir + "loop1.obj").c_str()), 0);
  ASSERT_EQ(symlink("loop1.obj", (dir + "loop2.obj").c_str()), 0);
  Attempt loop = tryWrite(m, dir + "loop1.obj", 0);
  EXPECT_FALSE(loop.ok);
  EXPECT_EQ(loop.error, dir + "loop1.obj: can't open: Too many levels of symbolic links");
  ASSERT_EQ(lstat((dir + "loop1.obj").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(listDir(dir),
            (std::set<std::string>{"want.obj", "out.obj", "sub", "loop1.obj", "loop2.obj"}));
  glmDelete(m);
}

using WriteObjFailureDeathTest = testing::Test;

TEST_F(WriteObjFailureDeathTest, WriteErrorEndsTheProcessLeavingTheEarlierFile) {
  GLMmodel* m = bigSquare();
  std::string dir = scratchDir();
  writeFile(dir + "out.obj", "earlier");
  EXPECT_EXIT(
      {
        FileSizeLimit limit(4096);
        glmWriteOBJ(m, (dir + "out.obj").c_str(), 0);
      },
      testing::ExitedWithCode(1),
      "^glmWriteOBJ\\(\\) failed: " + dir + "out\\.obj: can't write: File too large\n$");
  EXPECT_EQ(readFile(dir + "out.obj"), "earlier");
  EXPECT_EQ(listDir(dir), std::set<std::string>{"out.obj"});
  glmDelete(m);
}

}  // namespace
