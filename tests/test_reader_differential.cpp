// The reader against formatted stdio reading (tests/support/stdio_reader.h) on
// generated files: statements in any order, numbers in every notation the
// reader accepts, split across lines or missing, faces of every form with
// relative and partial corners, group, material and other statements, a
// material library. Both must give the same model, bit for bit, and print
// the same messages.
//
// The generator keeps to what both read alike: every index names an element,
// no line reaches 127 bytes, and no failed conversion meets a sign or a word
// starting with "i" or "n" (glibc's scanf swallows those).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/model_difference.h"
#include "support/reader_support.h"
#include "support/stdio_reader.h"

namespace {

using reader_test::TempDir;

class Generator {
 public:
  explicit Generator(uint64_t seed) : rng_(seed) {}

  struct Files {
    std::string obj, mtl;
  };

  Files next() {
    total_ = Counts{1 + pick(12), chance(60) ? 1 + pick(6) : 0, chance(60) ? 1 + pick(6) : 0};
    now_ = Counts{};
    Files files;
    const bool library = chance(50);
    if (library) files.mtl = material();
    // Every element statement once, faces and others between, shuffled.
    std::vector<char> kinds;
    kinds.insert(kinds.end(), size_t(total_.v), 'v');
    kinds.insert(kinds.end(), size_t(total_.n), 'n');
    kinds.insert(kinds.end(), size_t(total_.t), 't');
    kinds.insert(kinds.end(), size_t(pick(10)), 'f');
    kinds.insert(kinds.end(), size_t(pick(8)), 'o');
    std::shuffle(kinds.begin(), kinds.end(), rng_);
    std::string& obj = files.obj;
    if (chance(50)) obj += "# generated\n";
    bool libraryNamed = library && chance(70);
    if (libraryNamed) obj += "mtllib t.mtl\n";
    for (char kind : kinds) obj += kind == 'f' ? face() : kind == 'o' ? other() : element(kind);
    if (library && !libraryNamed) obj += "mtllib t.mtl\n";  // uses above it find it too
    // Room after the last statement lets the whole-line readers take every line.
    if (chance(60))
      for (int i = 0; i < 16; i++) obj += "# padding that leaves the statements room\n";
    // A last line without its newline (not a group line: dropping its last
    // byte there is the one place the two readers may differ).
    size_t lastLine = obj.find_last_of('\n', obj.size() - 2) + 1;
    if (chance(20) && obj[lastLine] != 'g') obj.pop_back();
    return files;
  }

 private:
  struct Counts {
    int v = 0, n = 0, t = 0;
  };

  int pick(int n) { return int(rng_() % uint64_t(n)); }
  bool chance(int percent) { return pick(100) < percent; }
  template <size_t N>
  const char* oneOf(const char* const (&choices)[N]) {
    return choices[pick(int(N))];
  }

  std::string blank() {
    static const char* const kBlanks[] = {"  ", "\t", " \t", "\n", " \r\n", "\n\n"};
    return chance(85) ? " " : oneOf(kBlanks);
  }

  std::string number() {
    static const char* const kFixed[] = {"0",
                                         "-0",
                                         "1",
                                         "-1",
                                         "+2",
                                         ".5",
                                         "-.25",
                                         "5.",
                                         "1e3",
                                         "1.5E-2",
                                         "-2e+1",
                                         "3.4028235e38",
                                         "1e-39",
                                         "1e-46",
                                         "123456789",
                                         "16777217",
                                         "7.0000001",
                                         "0.30000001192092896",
                                         "00012.50",
                                         "1E-0",
                                         "-0.000000",
                                         "9999999.9999999",
                                         "1.00000005960464478",
                                         "0.1234567890123456789"};
    if (chance(25)) return oneOf(kFixed);
    std::string s = chance(40) ? "-" : "";
    int whole = pick(8), fraction = pick(9);
    for (int i = 0; i < whole; i++) s += char('0' + pick(10));
    if (fraction || !whole) {
      s += '.';
      for (int i = 0; i < fraction + !whole; i++) s += char('0' + pick(10));
    }
    if (chance(10)) s += "e" + std::to_string(pick(20) - 10);
    return s;
  }

  std::string lineEnd() {
    static const char* const kEnds[] = {"\r\n", " \n", "\t\n", " # note\n", " 7\n"};
    return chance(60) ? "\n" : oneOf(kEnds);
  }

  // A coordinate statement, now and then short of numbers (the next
  // statement's keyword stops it) or with one too many (read as a statement
  // that is skipped).
  std::string element(char kind) {
    const int n = kind == 't' ? 2 : 3;
    int count = chance(92) ? n : chance(50) ? pick(n) : n + 1;
    std::string s = kind == 'v' ? "v" : kind == 'n' ? "vn" : "vt";
    for (int i = 0; i < count; i++) s += blank() + number();
    (kind == 'v' ? now_.v : kind == 'n' ? now_.n : now_.t)++;
    return s + lineEnd();
  }

  // An index of an element of the file: absolute (forward references too),
  // relative to those defined so far, or 0 for "none" where allowed.
  std::string index(int defined, int all, bool zeroAllowed) {
    if (zeroAllowed && chance(5)) return "0";
    if (defined && chance(25)) return std::to_string(-1 - pick(defined));
    return (chance(3) ? "+" : "") + std::to_string(1 + pick(all));
  }

  // Forms: 0 v, 1 v/t, 2 v/t/n, 3 v//n. A partial corner matches its form
  // only in part. In v//n "v/w" is read as the corners v and w, so w is a
  // vertex index; in v a "/w" left over ends the face. (A slash at a
  // corner's end would take the next corner's numbers into this one.)
  std::string corner(int form, bool partial) {
    std::string v = index(now_.v, total_.v, false);
    std::string t = total_.t ? index(now_.t, total_.t, true) : "0";
    std::string n = total_.n ? index(now_.n, total_.n, true) : "0";
    if (partial) {
      std::string w = index(now_.v, total_.v, false);
      const std::string kinds[4][2] = {
          {v, v + "/" + w}, {v, v}, {v, v + "/" + t}, {v, v + "/" + w}};
      return kinds[form][pick(2)];
    }
    if (form == 0) return v;
    if (form == 1) return v + "/" + t;
    return form == 2 ? v + "/" + t + "/" + n : v + "//" + n;
  }

  std::string face() {
    int form = pick(4);
    if ((form == 1 || form == 2) && !total_.t) form = total_.n ? 3 : 0;
    if (form == 3 && !total_.n) form = 0;
    std::string s = chance(10) ? "f  " : "f ";
    s += corner(form, false);
    for (int i = 1 + pick(6); i > 1; i--) s += blank() + corner(form, chance(8));
    static const char* const kEnds[] = {" \r\n", " # c\n", "\t\n"};
    return s + (chance(80) ? "\n" : oneOf(kEnds));
  }

  std::string other() {
    static const char* const kOthers[] = {"g body\n",         "g  two words \n",  "g\n",
                                          "g body\r\n",       "g default\n",      "s 1\n",
                                          "s off\n",          "o thing\n",        "l 1 2\n",
                                          "# v 1 2 3\n",      "usemtl red\n",     "usemtl blue\r\n",
                                          "usemtl nothing\n", "usemtl  green  \n"};
    return oneOf(kOthers);
  }

  std::string material() {
    static const char* const kNames[] = {"red", "blue", "green"};
    std::string s = chance(30) ? "Kd 0.1 0.2 0.3\n" : "";
    for (int i = pick(4); i > 0; i--) {
      s += std::string("newmtl ") + oneOf(kNames) + (chance(20) ? " \r\n" : "\n");
      if (chance(70)) s += "Ns " + number() + "\n";
      if (chance(30)) s += "Ni " + number() + "\n";
      if (chance(70)) s += "Kd " + number() + " " + number() + " " + number() + "\n";
      if (chance(50))
        s += "Ka " + number() + blank() + number() + blank() + number() +
             (chance(20) ? " 1\n" : "\n");
      if (chance(50)) s += "Ks " + number() + " " + number() + " " + number() + "\n";
      if (chance(20)) s += "Ke 1 1 1\nillum 2\nd 1\n# x\n";
    }
    return s;
  }

  std::mt19937_64 rng_;
  Counts total_, now_;
};

TEST(Differential, ReadingMatchesFormattedStdioOnGeneratedFiles) {
  TempDir dir;
  Generator generate(20261207);
  int differing = 0;
  for (int i = 0; i < 2000 && differing < 3; i++) {
    Generator::Files files = generate.next();
    const std::string path = dir.write("t.obj", files.obj);
    dir.write("t.mtl", files.mtl);
    char error[512] = "";
    testing::internal::CaptureStdout();
    GLMmodel* ours = glmTryReadOBJ(path.c_str(), error, sizeof error);
    std::string oursSaid = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    GLMmodel* stdio = stdio_reader::read(path.c_str());
    std::string stdioSaid = testing::internal::GetCapturedStdout();
    std::string difference;
    if (!ours)
      difference = std::string("rejected: ") + error;
    else if (oursSaid != stdioSaid)
      difference = "messages differ:\n" + oursSaid + "--\n" + stdioSaid;
    else
      difference = modelDifference(ours, stdio);
    if (!difference.empty()) {
      differing++;
      ADD_FAILURE() << "case " << i << ": " << difference << "\n--- t.obj\n"
                    << files.obj << "\n--- t.mtl\n"
                    << files.mtl;
    }
    if (ours) glmDelete(ours);
    glmDelete(stdio);
  }
}

}  // namespace
