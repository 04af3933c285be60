// Reading raw PPM images: header layout, comments, value patterns, messages,
// and the refusal of truncated, empty, oversized or hostile files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "glm.h"
#include "support/model_builder.h"

namespace {

using model_builder::readFile;
using model_builder::Rng;
using model_builder::scratchDir;
using model_builder::writeFile;

struct Image {
  bool ok = false;
  int width = -7, height = -7;  // stay as they are on failure
  std::string pixels;
  std::string err;  // standard error
};

Image readPPM(const std::string& path) {
  Image im;
  testing::internal::CaptureStderr();
  GLubyte* p = glmReadPPM(path.c_str(), &im.width, &im.height);
  im.err = testing::internal::GetCapturedStderr();
  im.ok = p != nullptr;
  if (p) im.pixels.assign(reinterpret_cast<char*>(p), size_t(im.width) * im.height * 3);
  free(p);
  return im;
}

// Writes `bytes` to a file (a new one unless `path` names one) and reads it
// back.
Image readBytes(const std::string& bytes, std::string* path = nullptr) {
  std::string file = path && !path->empty() ? *path : scratchDir() + "image.ppm";
  writeFile(file, bytes);
  if (path) *path = file;
  return readPPM(file);
}

const std::string kSix = "\x01\x02\x03\xfd\xfe\xff";

void expectImage(const Image& im, int width, int height, const std::string& pixels) {
  EXPECT_TRUE(im.ok);
  EXPECT_EQ(im.err, "");
  EXPECT_EQ(im.width, width);
  EXPECT_EQ(im.height, height);
  EXPECT_EQ(im.pixels, pixels);
}

void expectRefused(const Image& im, const std::string& err) {
  EXPECT_FALSE(im.ok);
  EXPECT_EQ(im.err, err);
  EXPECT_EQ(im.width, -7);
  EXPECT_EQ(im.height, -7);
}

TEST(ReadPpm, HeaderOnThreeLinesOrSpreadWithComments) {
  expectImage(readBytes("P6\n2 1\n255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P6\n# made by hand\n2\n# another\n1 255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P6\n2 1 255\n" + kSix), 2, 1, kSix);
  // Lines without a leading number supply nothing; reading goes on.
  expectImage(readBytes("P6\n\n2\nwidth above\n   \n1\n255\n" + kSix), 2, 1, kSix);
  // Signs and white space before a number are part of "%d".
  expectImage(readBytes("P6\n \t+2\x0b 1\n255\n" + kSix), 2, 1, kSix);
}

TEST(ReadPpm, ValuesMayStandOnTheMagicLine) {
  // One line, as many writers put it.
  expectImage(readBytes("P6 2 1 255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P6 2\n1 255\n" + kSix), 2, 1, kSix);
  // The pixels start right after the header, whatever they look like.
  expectImage(readBytes("P6 2 1 255\n3 4 255\n" + std::string(30, 'p')), 2, 1, "3 4 25");
  // A magic run on into other text has no values on its line.
  expectImage(readBytes("P6x 9 9 9\n2 1 255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P62 1 255\n2 1 255\n" + kSix), 2, 1, kSix);
}

TEST(ReadPpm, CommentsAndWordsBetweenValuesRunToTheLineEnd) {
  expectImage(readBytes("P6\n2 1 # size\n255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P6#c 5 5 5\n2#c\n1 255\n" + kSix), 2, 1, kSix);
  // "2x3" gives only the 2.
  expectImage(readBytes("P6\n2x3\n1\n255\n" + kSix), 2, 1, kSix);
  // A sign without digits is a word.
  expectImage(readBytes("P6\n2 - 7\n+ 9\n1 255\n" + kSix), 2, 1, kSix);
}

TEST(ReadPpm, SamplesAreBytesAsTheyStandUpToMaximum255) {
  const std::string samples("\xff\x00\x80", 3);
  expectImage(readBytes("P6\n1 1\n255\n" + samples + "tail"), 1, 1, samples);
  expectImage(readBytes("P6\n1 1\n15\n" + samples), 1, 1, samples);
  expectImage(readBytes("P6\n1 1\n0\nabc"), 1, 1, "abc");
  // Two-byte samples cannot be given as bytes: refused, not garbled.
  std::string path;
  Image wide = readBytes("P6\n1 1\n65535\n" + samples + samples, &path);
  expectRefused(wide,
                path + ": PPM maximum value 65535 not supported (samples of one byte only)\n");
}

TEST(ReadPpm, PixelDataStartAfterOneWhiteSpaceByte) {
  // Whatever white-space byte follows the maximum value ends the header;
  // the bytes after it are pixels even when they look like text.
  expectImage(readBytes("P6\n2 1 255 7\n" + kSix), 2, 1, "7\n" + kSix.substr(0, 4));
  expectImage(readBytes("P6\n1 1 255 ABC\nDEF"), 1, 1, "ABC");
  expectImage(readBytes("P6\n1 1\n255 \nDEF"), 1, 1, "\nDE");
  expectImage(readBytes("P6\n1 1\n255\r\nXYZ"), 1, 1, "\nXY");
  expectImage(readBytes("P6\n1 1\n255\n\n 7"), 1, 1, "\n 7");
  // Text right after the maximum value is header up to its newline.
  expectImage(readBytes("P6\n1 1 255# made by hand\nRGB"), 1, 1, "RGB");
  expectImage(readBytes("P6\n1 1 255x\nRGB"), 1, 1, "RGB");
}

TEST(ReadPpm, LongHeaderLinesAreReadWhole) {
  // Blanks of any number separate the values.
  std::string pixels(12 * 3, 'p');
  expectImage(readBytes("P6\n" + std::string(68, ' ') + "12 1\n255\n" + pixels), 12, 1, pixels);
  expectImage(readBytes("P6" + std::string(67, ' ') + "2 1\n255\n" + kSix), 2, 1, kSix);
  // A long comment ends at its newline, however far; digits in its tail
  // are comment too.
  std::string comment = "#" + std::string(68, 'c');
  expectImage(readBytes("P6\n" + comment + "9 9 255\n2 1 255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P6\n" + comment + "#9 9 9\n2 1 255\n" + kSix), 2, 1, kSix);
  expectImage(readBytes("P6\n" + std::string(68, '#') + "\n2 1 255\n" + kSix), 2, 1, kSix);
  // So does a long word on the magic line.
  expectImage(readBytes("P6" + std::string(67, 'x') + "9 9 255\n2 1 255\n" + kSix), 2, 1, kSix);
}

TEST(ReadPpm, MissingFileGivesTheSystemMessage) {
  std::string path = scratchDir() + "absent.ppm";
  expectRefused(readPPM(path), path + ": " + strerror(ENOENT) + "\n");
}

TEST(ReadPpm, AnythingButP6IsNotARawPpm) {
  std::string path;
  for (std::string bytes : {std::string("P3\n1 1\n255\n1 2 3\n"), std::string(""), std::string("P"),
                            std::string("p6\n1 1 255\nabc"), std::string("\nP6\n1 1 255\nabc")}) {
    SCOPED_TRACE(bytes);
    Image im = readBytes(bytes, &path);
    expectRefused(im, path + ": Not a raw PPM file\n");
  }
  // The magic alone without a newline is accepted as magic.
  Image im = readBytes("P6", &path);
  expectRefused(im, path + ": truncated PPM header\n");
}

TEST(ReadPpm, HeaderEndingEarlyIsRefused) {
  std::string path;
  for (std::string bytes :
       {"P6\n", "P6\n2 1\n", "P6\n2\n1", "P6\n# only a comment\n", "P6\n2 1\n# 255\n"}) {
    SCOPED_TRACE(bytes);
    Image im = readBytes(bytes, &path);
    expectRefused(im, path + ": truncated PPM header\n");
  }
}

TEST(ReadPpm, EmptyNegativeAndOverflowingSizesAreRefused) {
  std::string path;
  struct Case {
    const char* header;
    const char* size;
  };
  for (Case c :
       {Case{"0 1 255", "0 x 1"}, Case{"1 0 255", "1 x 0"}, Case{"-2 1 255", "-2 x 1"},
        Case{"2 -1 255", "2 x -1"}, Case{"-0 -0 255", "0 x 0"},
        // width * height * 3 beyond int
        Case{"65536 65536 255", "65536 x 65536"}, Case{"2147483647 1 255", "2147483647 x 1"},
        Case{"26755 26755 255", "26755 x 26755"},
        // beyond int itself: no wrap-around to a small size
        Case{"4294967298 1 255", "4294967298 x 1"},
        Case{"1 99999999999999999999999 255", "1 x 999999999999999999"}}) {
    SCOPED_TRACE(c.header);
    Image im = readBytes(std::string("P6\n") + c.header + "\nabc", &path);
    expectRefused(im, path + ": bad PPM size " + c.size + "\n");
  }
  // The largest accepted byte count: 26754 * 26754 * 3 fits an int.
  // (Too large to read here; it reaches the data check, not the size check.)
  Image im = readBytes("P6\n26754 26754 255\nabc", &path);
  expectRefused(im, path + ": PPM pixel data truncated\n");
}

TEST(ReadPpm, TooFewPixelBytesAreRefused) {
  std::string path;
  for (std::string bytes : {"P6\n2 2 255\n" + std::string(11, 'x'), std::string("P6\n2 2 255\n")}) {
    Image im = readBytes(bytes, &path);
    expectRefused(im, path + ": PPM pixel data truncated\n");
  }
  // More bytes than needed: the rest is ignored.
  expectImage(readBytes("P6\n1 1 255\nabcdef"), 1, 1, "abc");
}

// Pipes have no size to check in advance: the data are read in growing
// chunks.
TEST(ReadPpm, PipesAreReadInChunks) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int w = 1024, h = 1100;  // 3.4 MB: several chunks
  std::string pixels(size_t(w) * h * 3, '\0');
  Rng rng(5);
  for (char& c : pixels) c = char(rng.next());
  std::string bytes = "P6\n" + std::to_string(w) + " " + std::to_string(h) + " 255\n" + pixels;
  std::thread writer([&] {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    close(fds[1]);
  });
  Image im = readPPM("/dev/fd/" + std::to_string(fds[0]));
  writer.join();
  close(fds[0]);
  expectImage(im, w, h, pixels);

  ASSERT_EQ(pipe(fds), 0);
  std::string shortData = "P6\n1000 1000 255\n" + std::string(5000, 'x');
  ASSERT_EQ(write(fds[1], shortData.data(), shortData.size()), ssize_t(shortData.size()));
  close(fds[1]);
  std::string path = "/dev/fd/" + std::to_string(fds[0]);
  expectRefused(readPPM(path), path + ": PPM pixel data truncated\n");
  close(fds[0]);
}

// The header values follow sscanf's "%d %d %d", "%d %d" and "%d" patterns
// chosen by the number of values collected so far, a line that is not a
// number at that point giving no more. Random header lines are checked
// against a reference that calls sscanf itself.
TEST(ReadPpm, HeaderValuesMatchTheSscanfPatternsOnRandomLines) {
  Rng rng(2718);
  const char alphabet[] = " \t+-0123456789#x\r";
  const std::string pixels = std::string(99 * 99 * 3, 'q') + "TAIL";
  std::string path = scratchDir() + "random.ppm";
  for (int round = 0; round < 1000; round++) {
    std::string header = "P6\n";
    int n = 0, values[3] = {0, 0, 0};
    size_t dataStart = std::string::npos;
    for (int line = 0; line < 6; line++) {
      std::string text;
      int length = int(rng.below(10));  // numbers stay within int
      for (int i = 0; i < length; i++) text += alphabet[rng.below(sizeof alphabet - 1)];
      header += text + "\n";
      if (n >= 3 || text[0] == '#') continue;
      // As "%d %d %d" (or "%d %d", "%d") would, one value at a time, so
      // that the end of the third value is known.
      size_t at = 0;
      int used = 0;
      while (n < 3 && sscanf(text.c_str() + at, "%d%n", &values[n], &used) == 1) {
        at += size_t(used);
        n++;
      }
      if (n >= 3) {
        // One white-space byte (the newline included) ends the header; text
        // after the value is header to the end of the line.
        const size_t lineStart = header.size() - text.size() - 1;
        dataStart =
            at == text.size() || strchr(" \t\r", text[at]) ? lineStart + at + 1 : header.size();
      }
    }
    header += "5 5 5\n";
    // The fixed line completes the header: the (3 - n)th value ends it.
    if (n < 3) dataStart = header.size() - 6 + 2 * size_t(3 - n);
    const char* pat = n == 0 ? "%d %d %d" : n == 1 ? "%d %d" : "%d";
    if (n < 3) n += sscanf("5 5 5\n", pat, &values[n], &values[n + 1 > 2 ? 2 : n + 1], &values[2]);
    std::string bytes = header + pixels;
    SCOPED_TRACE(header);
    Image im = readBytes(bytes, &path);
    long long size = 3LL * values[0] * values[1];
    if (values[0] > 0 && values[1] > 0 && size <= 0x7fffffff) {
      if (values[2] > 255)
        expectRefused(im, path + ": PPM maximum value " + std::to_string(values[2]) +
                              " not supported (samples of one byte only)\n");
      else if (size_t(size) <= bytes.size() - dataStart)
        expectImage(im, values[0], values[1], bytes.substr(dataStart, size_t(size)));
      else
        expectRefused(im, path + ": PPM pixel data truncated\n");
    } else {
      expectRefused(im, path + ": bad PPM size " + std::to_string(values[0]) + " x " +
                            std::to_string(values[1]) + "\n");
    }
    if (HasFailure()) break;
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define CELSHADE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CELSHADE_ASAN 1
#endif
#endif

#ifndef CELSHADE_ASAN
// Limits the address space of this (child) process to what it uses now plus
// `extra` bytes, so that a large allocation fails.
void limitAddressSpace(size_t extra) {
  size_t pages = 0;
  FILE* f = fopen("/proc/self/statm", "r");
  if (!f || fscanf(f, "%zu", &pages) != 1) abort();
  fclose(f);
  rlimit lim;
  lim.rlim_cur = lim.rlim_max = pages * size_t(sysconf(_SC_PAGESIZE)) + extra;
  if (setrlimit(RLIMIT_AS, &lim) != 0) abort();
}

// In a child with 256 MiB of room: reads `path` and exits 0 when the reader
// returned null without touching the outputs.
void readRefusedWithLittleMemory(const std::string& path) {
  limitAddressSpace(size_t(256) << 20);
  int w = -7, h = -7;
  GLubyte* p = glmReadPPM(path.c_str(), &w, &h);
  _exit(p == nullptr && w == -7 && h == -7 ? 0 : 3);
}

// The same, reading `bytes` through a pipe.
void pipeRefusedWithLittleMemory(const std::string& bytes) {
  int fds[2];
  if (pipe(fds) != 0) _exit(4);
  if (write(fds[1], bytes.data(), bytes.size()) != ssize_t(bytes.size())) _exit(5);
  close(fds[1]);
  readRefusedWithLittleMemory("/dev/fd/" + std::to_string(fds[0]));
}
#endif

using ReadPpmDeathTest = testing::Test;

// A header that promises over a gigabyte in front of a few bytes must not
// make the reader ask for that gigabyte: with no room for it, the answer is
// still "truncated", for files and for pipes.
TEST_F(ReadPpmDeathTest, HostileSizeAllocatesNothingBeforeTheDataExist) {
#ifdef CELSHADE_ASAN
  GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#else
  const std::string bytes = "P6\n20000 20000 255\n" + std::string(100, 'x');
  std::string file = scratchDir() + "hostile.ppm";
  writeFile(file, bytes);
  EXPECT_EXIT(readRefusedWithLittleMemory(file), testing::ExitedWithCode(0),
              "hostile\\.ppm: PPM pixel data truncated\n");
  EXPECT_EXIT(pipeRefusedWithLittleMemory(bytes), testing::ExitedWithCode(0),
              "^/dev/fd/[0-9]+: PPM pixel data truncated\n$");
#endif
}

TEST_F(ReadPpmDeathTest, FailedAllocationGivesNullAndAMessage) {
#ifdef CELSHADE_ASAN
  GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#else
  // A sparse file that holds all 1.2 GB the header promises.
  std::string file = scratchDir() + "huge.ppm";
  std::string header = "P6\n20000 20000 255\n";
  writeFile(file, header);
  ASSERT_EQ(truncate(file.c_str(), off_t(header.size()) + off_t(20000) * 20000 * 3), 0);
  EXPECT_EXIT(readRefusedWithLittleMemory(file), testing::ExitedWithCode(0),
              "huge\\.ppm: out of memory for 20000 x 20000 PPM pixels\n");
#endif
}

TEST_F(ReadPpmDeathTest, NullArgumentsAreCallerErrors) {
  int w, h;
  EXPECT_DEATH(glmReadPPM(nullptr, &w, &h), "Assertion `filename' failed");
  EXPECT_DEATH(glmReadPPM("x.ppm", nullptr, &h), "Assertion `width' failed");
  EXPECT_DEATH(glmReadPPM("x.ppm", &w, nullptr), "Assertion `height' failed");
}

}  // namespace
