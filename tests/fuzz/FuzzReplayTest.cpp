// Replays the fuzz seeds and the crashes found so far through the target
// bodies: nothing may escape them and nothing may crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FuzzTargets.h"
#include "support/TestSupport.h"

namespace brellin::fuzz {
namespace {

namespace fs = std::filesystem;

struct TTarget {
  const char* Name;
  int (*Run)(const uint8_t*, size_t);
};

void PrintTo(const TTarget& t, std::ostream* os) {
  *os << t.Name;
}

class FuzzReplayTest : public ::testing::TestWithParam<TTarget> {};

// Replays every file of fuzz/KIND/NAME; returns how many there were.
int ReplayFolder(const TTarget& target, const std::string& kind) {
  const fs::path dir = fs::path(BRELLIN_SOURCE_DIR) / "fuzz" / kind / target.Name;
  int count = 0;
  if (!fs::is_directory(dir)) return 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
    const std::vector<uint8_t> data = test::ReadBytes(entry.path().string());
    SCOPED_TRACE(entry.path().string());
    EXPECT_NO_THROW(EXPECT_EQ(target.Run(data.data(), data.size()), 0));
    ++count;
  }
  return count;
}

TEST_P(FuzzReplayTest, SeedsAndCrashesRunCleanly) {
  EXPECT_GT(ReplayFolder(GetParam(), "corpus"), 0) << "no seeds for " << GetParam().Name;
  ReplayFolder(GetParam(), "crashes");
}

TEST_P(FuzzReplayTest, EmptyAndTinyInputs) {
  const uint8_t bytes[] = {'B', 'M', 0xFF, 0xD8, 0xFF, 0x89, 'P', 'N', 'G', 'I', 'I', '*', 0};
  EXPECT_NO_THROW(GetParam().Run(nullptr, 0));
  for (size_t n = 1; n <= sizeof(bytes); ++n) EXPECT_NO_THROW(GetParam().Run(bytes, n));
}

INSTANTIATE_TEST_SUITE_P(Decoders, FuzzReplayTest,
                         ::testing::Values(TTarget{"bmp", FuzzBmp}, TTarget{"jpeg", FuzzJpeg},
                                           TTarget{"png", FuzzPng}, TTarget{"tiff", FuzzTiff},
                                           TTarget{"style", FuzzStyle}, TTarget{"brush", FuzzBrush},
                                           TTarget{"pattern", FuzzPattern},
                                           TTarget{"project", FuzzProject},
                                           TTarget{"strokes", FuzzStrokes},
                                           TTarget{"journal", FuzzJournal}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace brellin::fuzz
