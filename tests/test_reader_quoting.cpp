// Messages that echo bytes of a file (a quoted statement, an unknown
// keyword, material and library names) show every byte that is not
// printable as \xNN, so that a binary file never puts raw bytes on a
// terminal; printable ASCII and well-formed UTF-8 stay as they are.
#include "support/message_collector.h"
#include "support/reader_support.h"

#include <clocale>
#include <cwchar>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

using namespace reader_test;

namespace {

const char kTriangle[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\n";

// The message of an unknown keyword "vq" followed by `bytes`.
std::string unknownKeyword(const std::string& bytes) {
  return readText("vq" + bytes + " 1\n").error;
}

TEST(Quoting, BytesThatAreNotPrintableShowAsHex) {
  struct {
    std::string in, out;
  } cases[] = {
      {"\x01", "\\x01"},
      {"\x7f", "\\x7f"},
      {"\x1b[2J", "\\x1b[2J"},
      {"\x80", "\\x80"},                             // a stray continuation byte
      {"\xff\xfe", "\\xff\\xfe"},                    // never in UTF-8
      {"\xc2\x9b", "\\xc2\\x9b"},                    // U+009B, a C1 control
      {"\xc0\x80", "\\xc0\\x80"},                    // overlong NUL
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},           // overlong '/'
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},           // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // beyond U+10FFFF
      {"\xe2\x82", "\\xe2\\x82"},                    // cut short by the blank after it
      {"\xe2\x82"
       "a",
       "\\xe2\\x82a"},  // cut short by a letter
  };
  for (const auto& c : cases)
    EXPECT_EQ(unknownKeyword(c.in), "test.obj:1: unknown token \"vq" + c.out + "\"")
        << testing::PrintToString(c.in);
}

TEST(Quoting, PrintableAsciiAndUtf8StayAsTheyAre) {
  for (std::string bytes : {"a\\x41\"'`~", "\xc3\xa9", "\xc2\xa0", "\xe2\x82\xac", "\xef\xbf\xbd",
                            "\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf"})
    EXPECT_EQ(unknownKeyword(bytes), "test.obj:1: unknown token \"vq" + bytes + "\"")
        << testing::PrintToString(bytes);
}

TEST(Quoting, StatementsAreQuotedWithTheirBytesEscaped) {
  EXPECT_EQ(readText(std::string(kTriangle) + "f 1 2\t9\x07\n").error,
            "test.obj:4: face index out of range: `f 1 2\\x099\\x07`");
  EXPECT_EQ(readText("v 1 1e99\x1b[0m\n").error,
            "test.obj:1: number out of range: `v 1 1e99\\x1b[0m`");
  // A statement cut at 80 bytes is cut before a character, not inside it.
  std::string face = "f 1 2 9 " + std::string(70, '9') + " " + "\xe2\x82\xac" + " 9";
  ASSERT_EQ(face.find('\xe2'), 79u);
  EXPECT_EQ(readText(std::string(kTriangle) + face + "\n").error,
            "test.obj:4: face index out of range: `" + face.substr(0, 79) + "...`");
}

TEST(Quoting, NamesInErrorsAndWarningsAreEscaped) {
  EXPECT_EQ(readText("mtllib \x1b]0;x\x07.mtl\n", {}, "dir/t.obj").error,
            "dir/\\x1b]0;x\\x07.mtl: can't open material file");
  EXPECT_EQ(
      readText("mtllib m.mtl\n", {{"dir/m.mtl", "newmtl a\nKa 1e99\x9b\n"}}, "dir/t.obj").error,
      "dir/m.mtl:2: number out of range: `Ka 1e99\\x9b`");
  Collector warnings;
  Model m = mustRead(std::string(kTriangle) + "mtllib m.mtl\nusemtl r\xe9\x01\nf 1 2 3\n",
                     {{"m.mtl", "newmtl red\n"}});
  EXPECT_EQ(warnings.messages,
            std::vector<std::string>{"glmFindMaterial():  can't find material \"r\\xe9\\x01\"."});
  warnings.messages.clear();
  const std::string obj = std::string(kTriangle) + "mtllib g\xc3\xb6ne\x85.mtl\nf 1 2 3\n";
  char error[256];
  Model optional(glmReadOBJTextWith("dir/t.obj", obj.data(), obj.size(), nullptr, nullptr,
                                    GLM_READ_OPTIONAL_LIBRARIES, error, sizeof error));
  ASSERT_TRUE(optional) << error;
  EXPECT_EQ(warnings.messages,
            std::vector<std::string>{"dir/t.obj:4: can't open material library "
                                     "\"g\xc3\xb6ne\\x85.mtl\" (No such file or directory)"});
}

TEST(QuotingDeathTest, ReadObjPrintsTheEscapedNames) {
  TempDir dir;
  std::string keyword = dir.write("keyword.obj", "v 0 0 0\nvq\x1b[31m\xff 1\n");
  Outcome o = runChild([&] { glmReadOBJ(keyword.c_str()); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "glmFirstPass(): Unknown token \"vq\\x1b[31m\\xff\".\n");
  std::string library = dir.write("library.obj", "mtllib \x1b[2J.mtl\n");
  o = runChild([&] { glmReadOBJ(library.c_str()); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "glmReadMTL() failed: can't open material file \"" + dir.path + "/\\x1b[2J.mtl\".\n");
}

// True when `text` holds only printable ASCII and well-formed UTF-8
// characters that are not controls, as the C library's UTF-8 locale tells
// them.
bool printableText(const std::string& text) {
  std::mbstate_t state{};
  for (size_t at = 0; at < text.size();) {
    wchar_t c;
    size_t n = std::mbrtowc(&c, text.data() + at, text.size() - at, &state);
    if (n == 0 || n > text.size() - at) return false;
    if (c < 0x80 ? !std::iswprint(wint_t(c)) : std::iswcntrl(wint_t(c))) return false;
    at += n;
  }
  return true;
}

TEST(Quoting, MessagesOfBinaryTextHoldOnlyPrintableCharacters) {
  ASSERT_TRUE(setlocale(LC_CTYPE, "C.UTF-8"));
  ASSERT_FALSE(printableText("a\x1b"));  // the oracle itself
  ASSERT_FALSE(printableText("\xc2\x9b"));
  ASSERT_TRUE(printableText("caf\xc3\xa9"));
  std::mt19937 rng(25);
  const char* const starts[] = {"v ", "vn ", "vx", "f ", "f 1 2 ", "mtllib ", "usemtl ", "g ", ""};
  int errors = 0;
  for (int round = 0; round < 400; round++) {
    std::string obj = kTriangle;
    for (int line = 0; line < 3; line++) {
      obj += starts[rng() % (sizeof starts / sizeof *starts)];
      for (size_t n = rng() % 40; n > 0; n--) obj += char(rng());
      obj += '\n';
    }
    Collector warnings;
    char error[512] = "";
    Model m(glmReadOBJTextWith("b.obj", obj.data(), obj.size(), nullptr, nullptr,
                               round % 2 ? GLM_READ_OPTIONAL_LIBRARIES : 0, error, sizeof error));
    errors += !m;
    if (!m) warnings.messages.push_back(error);
    for (const std::string& message : warnings.messages)
      EXPECT_TRUE(printableText(message)) << testing::PrintToString(message);
  }
  EXPECT_GT(errors, 100);  // the texts reach the error messages, not only warnings
  setlocale(LC_CTYPE, "C");
}

}  // namespace
