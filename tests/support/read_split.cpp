// Linked into the reader's tests: CELSHADE_TEST_READ_PIECES=n makes every
// read of the binary go in up to n pieces however small the text, so that
// the same tests check the read in pieces with cuts falling everywhere.
#include <gtest/gtest.h>

#include <cstdlib>

#include "glm_internal.h"

namespace {

class ReadSplit : public testing::Environment {
 public:
  void SetUp() override {
    if (const char* pieces = getenv("CELSHADE_TEST_READ_PIECES"))
      setReadSplit(unsigned(atoi(pieces)), 1);
  }
};

const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new ReadSplit);

}  // namespace
