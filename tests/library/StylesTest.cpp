#include <gtest/gtest.h>

#include <cstring>

#include "base/Errors.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "base/Win1252.h"
#include "library/Styles.h"
#include "synthesis/LineSampler.h"

namespace brellin {
namespace {

std::vector<uint8_t> Bytes(const TStyleParams& p) {
  std::vector<uint8_t> b(sizeof p);
  std::memcpy(b.data(), &p, sizeof p);
  return b;
}

TEST(Style, DefaultRecordBytesAndUnmodified) {
  TBStyle s;
  const std::vector<uint8_t> expected = {0x00, 0x1E, 0x0C, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0x40, 0x41, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0xFF, 0x0F,
                                         0x0F, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(Bytes(s.Params), expected);
  EXPECT_FALSE(s.Modified());
  EXPECT_TRUE(s.PreviewDirty);
  EXPECT_EQ(s.GetExtension(), "bst");
  EXPECT_EQ(s.GetBaseName(), "style");
}

TEST(Style, ControlConversionsAndNibbles) {
  TBStyle s;
  s.SetBorderLimit(2);
  EXPECT_EQ(s.Params.BorderLimit, 59);   // Round(58.8)
  EXPECT_EQ(s.BorderLimitPercent(), 2);  // 100 - Round(98.33)
  s.SetBorderLimit(100);
  EXPECT_EQ(s.Params.BorderLimit, 0);
  s.SetWidth(7.5f);
  EXPECT_EQ(s.Params.Width, 8.0f);
  s.SetWidth(6.5f);
  EXPECT_EQ(s.Params.Width, 6.0f);  // halves to even
  s.SetBumpiness(8);
  s.SetSoftness(5);
  s.SetLightIntensity(30);
  EXPECT_EQ(s.ReliefParams(), 0x1E58);
  s.SetBumpiness(3);  // only the low nibble changes
  EXPECT_EQ(s.Softness(), 5);
  EXPECT_EQ(s.Bumpiness(), 3);
}

TEST(Style, ModifiedRulesLoadingAndStopOnBorders) {
  TBStyle s;
  s.PreviewDirty = false;
  s.Params.StopOnBorders = 1;  // written directly: neither modified nor dirty
  EXPECT_FALSE(s.Modified());
  EXPECT_FALSE(s.PreviewDirty);
  bool loading = true;
  SetStyleLoadingQuery([&] { return loading; });
  s.SetLength(25);
  EXPECT_FALSE(s.Modified());
  EXPECT_TRUE(s.PreviewDirty);
  loading = false;
  s.SetLength(30);
  EXPECT_TRUE(s.Modified());
  SetStyleLoadingQuery(nullptr);
  s.StoreReset();
  EXPECT_FALSE(s.Modified());
  s.SetLength(99);
  s.Reset();
  EXPECT_EQ(s.Params.Length, 30);
  EXPECT_FALSE(s.Modified());
}

TEST(Style, FileRoundTripWithPreview) {
  TBStyle s;
  s.SetName("Ink");
  s.SetLength(30);
  s.SetWidth(6.0f);
  s.Params.Reserved[1] = 7;  // reserved bytes come back unchanged
  TMemoryStream m;
  s.SaveToStream(m);
  EXPECT_FALSE(s.PreviewDirty);
  EXPECT_EQ(m.Data()[0], 3);  // name length
  EXPECT_EQ(std::memcmp(m.Data().data() + 4, "Ink", 3), 0);
  m.SetPosition(0);
  TBStyle t;
  t.LoadFromStream(m);
  EXPECT_EQ(t.Name(), "Ink");
  EXPECT_EQ(Bytes(t.Params), Bytes(s.Params));
  EXPECT_EQ(Bytes(t.ResetParams), Bytes(s.Params));
  EXPECT_FALSE(t.PreviewDirty);
  EXPECT_FALSE(t.Modified());
  EXPECT_EQ(t.GetPreview().Width(), StylePreviewWidth);
  EXPECT_EQ(t.GetPreview().Height(), StylePreviewHeight);
}

TEST(Style, NamesAreWindows1252InFiles) {
  auto roundTrip = [](const std::string& name, const std::string& fileBytes) {
    TBStyle s;
    s.SetName(name);
    TMemoryStream m;
    s.SaveToStream(m);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Data().data()) + 4, fileBytes.size()),
              fileBytes);
    m.SetPosition(0);
    TBStyle t;
    t.LoadFromStream(m);
    return t.Name();
  };
  // Accents, the euro sign and the typographic characters of 0x80..0x9F.
  const std::string accented = "Caf\u00e9 \u0152uvre \u20ac\u2019";
  EXPECT_EQ(roundTrip(accented, "Caf\xE9 \x8Cuvre \x80\x92"), accented);
  // What the code page cannot hold is written as '?', one per character.
  EXPECT_EQ(roundTrip("\u65e5\u672c ink", "?? ink"), "?? ink");
  // Bytes undefined in the code page survive a read and a write.
  TBStyle u;
  u.SetName(Win1252ToUtf8("a\x81\x9D"));
  EXPECT_EQ(Utf8ToWin1252(u.Name()), "a\x81\x9D");
  // Malformed UTF-8 does not swallow the characters after it.
  EXPECT_EQ(Utf8ToWin1252("x\xC3(\xE2\x82"), "x?(??");
}

TEST(Style, HostileFilesAreRefused) {
  TBStyle s;
  s.SetName("x");
  TMemoryStream good;
  s.SaveToStream(good);
  auto load = [](std::vector<uint8_t> bytes) {
    TMemoryStream m(std::move(bytes));
    TBStyle t;
    t.LoadFromStream(m);
  };
  std::vector<uint8_t> negative = good.Data();
  negative[3] = 0x80;  // length -2^31 + 1
  EXPECT_THROW(load(negative), EInvalidData);
  std::vector<uint8_t> tooLong = good.Data();
  tooLong[1] = 0x40;  // 16385 bytes, more than the file
  EXPECT_THROW(load(tooLong), EInvalidData);
  // Cut in the record and in the JPEG: every cut is an error.
  for (size_t cut : {size_t(2), size_t(10), size_t(20), size_t(40), good.Data().size() / 2,
                     good.Data().size() - 3})
    EXPECT_THROW(
        load(std::vector<uint8_t>(good.Data().begin(), good.Data().begin() + ptrdiff_t(cut))),
        EBrellinError)
        << cut;
  // Parameters far beyond the controls' ranges are refused.
  auto withParam = [&](size_t offset, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> f = good.Data();
    std::copy(bytes.begin(), bytes.end(), f.begin() + 5 + ptrdiff_t(offset));
    return f;
  };
  EXPECT_THROW(load(withParam(4, {0xFF, 0xFF, 0xFF, 0x7F})), EInvalidData);   // length
  EXPECT_THROW(load(withParam(8, {0x00, 0x00, 0xC0, 0x7F})), EInvalidData);   // width NaN
  EXPECT_THROW(load(withParam(12, {0x00, 0x00, 0x80, 0x7F})), EInvalidData);  // scan width inf
  // A name of length 0 is fine.
  std::vector<uint8_t> unnamed = {0, 0, 0, 0};
  unnamed.insert(unnamed.end(), good.Data().begin() + 5, good.Data().end());
  EXPECT_NO_THROW(load(unnamed));
}

TEST(Style, PreviewPaintsStrokesAndRestoresTheCallbackLimit) {
  TBStyle s;
  SetRandSeed(1);
  DirectionCallbackLimit = 1;
  const TBitmap32& p = s.GetPreview();
  EXPECT_EQ(DirectionCallbackLimit, 1);
  int painted = 0;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < p.Width(); ++x) painted += p.Pixel(x, y) != clWhite32;
  EXPECT_GT(painted, p.Width() * p.Height() / 2);
  // Drawn once: a second call keeps the same picture and draws no random numbers.
  const uint32_t seed = RandSeed();
  s.GetPreview();
  EXPECT_EQ(RandSeed(), seed);
}

}  // namespace
}  // namespace brellin
