#include <gtest/gtest.h>

#include "interaction/HelpModels.h"

namespace brellin {
namespace {

TEST(HelpHistory, BackAndNextWalkThePagesAndANewPageDropsTheNewerOnes) {
  THelpHistory h;
  EXPECT_FALSE(h.Back());
  EXPECT_FALSE(h.Next());
  h.Visit("a");
  h.Visit("b");
  h.Visit("c");
  h.Visit("c");  // reloading adds nothing
  EXPECT_EQ(h.Count(), 3u);
  EXPECT_TRUE(h.CanBack());
  EXPECT_FALSE(h.CanNext());
  ASSERT_TRUE(h.Back());
  ASSERT_TRUE(h.Back());
  EXPECT_EQ(h.Current(), "a");
  EXPECT_FALSE(h.CanBack());
  EXPECT_FALSE(h.Back());
  ASSERT_TRUE(h.Next());
  EXPECT_EQ(h.Current(), "b");
  // From the middle, a new page replaces "c" as the newest.
  h.Visit("d");
  EXPECT_EQ(h.Count(), 3u);
  EXPECT_EQ(h.Index(), 0u);
  EXPECT_FALSE(h.CanNext());
  h.Back();
  EXPECT_EQ(h.Current(), "b");
  h.Back();
  EXPECT_EQ(h.Current(), "a");
}

TEST(HelpHistory, TheOldestPagesFallOutBeyondTheLimit) {
  THelpHistory h(3);
  for (const char* p : {"1", "2", "3", "4"}) h.Visit(p);
  EXPECT_EQ(h.Count(), 3u);
  while (h.Back()) {
  }
  EXPECT_EQ(h.Current(), "2");
}

TEST(HelpPages, KeywordsNamePagesInsideTheHelpFolder) {
  EXPECT_EQ(HelpPageFile("/p/", "size"), "/p/Help/size.html");
  EXPECT_EQ(HelpPageFile("/p/", ""), "/p/Help/tools.html");
  EXPECT_EQ(HelpPageFile("/p/", "../../etc/x"), "/p/Help/tools.html");
}

TEST(AboutBox, VersionStopsBeforeTheSecondDot) {
  EXPECT_EQ(VersionUpToSecondDot("2.5.0.17"), "2.5");
  EXPECT_EQ(VersionUpToSecondDot("2.5"), "2.5");
  EXPECT_EQ(VersionUpToSecondDot("2"), "2");
}

TEST(AboutBox, MemoryFiguresAreBytesAndPreferAvailableMemory) {
  TMemoryStatus m;
  EXPECT_TRUE(
      ParseMemInfo("MemTotal:       16318412 kB\nMemFree:          500000 kB\n"
                   "MemAvailable:   8000000 kB\nBuffers:  12 kB\n",
                   m));
  EXPECT_EQ(m.Total, 16318412ull * 1024);
  EXPECT_EQ(m.Free, 8000000ull * 1024);
  EXPECT_TRUE(ParseMemInfo("MemTotal: 4096 kB\nMemFree: 1024 kB\n", m));
  EXPECT_EQ(m.Free, 1024ull * 1024);
  EXPECT_FALSE(ParseMemInfo("garbage\n", m));
  EXPECT_TRUE(ReadMemoryStatus(m));
  EXPECT_GT(m.Total, 0u);
  EXPECT_LE(m.Free, m.Total);
}

}  // namespace
}  // namespace brellin
