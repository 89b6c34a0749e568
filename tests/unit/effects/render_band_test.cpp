// The band render: independence from the band split, phases built once, grey hosts, empty
// bands and stars that cannot be built. What the stars leave alone at every depth, and Effects
// Only, are checked by the whole-module runs.
#include <algorithm>
#include <map>
#include <random>
#include <thread>

#include "effects/spike.h"
#include "effects/star_phase_set.h"
#include "image/blend.h"
#include "render_test_support.h"
#include "unit/effects/shape_test_allocation.h"
#include "unit/effects/shape_test_support.h"

namespace lumeray {
namespace {

using testing::RenderTest;
using testing::ReportCapture;

class BandRender : public RenderTest {
 protected:
  // Random samples; float images also get values below 0 and above 1.
  static void FillWithNoise(uint32_t seed) {
    ImageRecord& image = InputImage();
    std::mt19937 random(seed);
    const int64_t samples = image.dataWidth * image.dataHeight * kSamplesPerPixel;
    if (image.bytesPerSample == 4) {
      std::uniform_real_distribution<float> value(-0.25f, 1.5f);
      auto* data = static_cast<float*>(image.pixels.data);
      for (int64_t i = 0; i < samples; ++i) data[i] = value(random);
    } else {
      auto* data = static_cast<uint8_t*>(image.pixels.data);
      for (int64_t i = 0; i < samples * image.bytesPerSample; ++i) data[i] = random() & 0xFF;
    }
  }

  // A small star: short, faint spikes and a narrow flare.
  static ParameterSetBuffer SmallStar() {
    ParameterSet p = kFactoryParameters;
    p.Length = 5;
    p.Intensity = 30;
    p.Quantity = 100;
    return MakeFinalRenderSnapshot(p);
  }
};

// The final render's way (strips stamped by rows from phases built once, the flare from its
// radial profile) against stamping the shapes' sub-shapes with DrawShapeInto: byte for byte, for
// rainbow and plain stars, a long wide flare whose reach passes the image, and a grey host.
TEST_F(BandRender, TheOutputDoesNotDependOnTheBandSplitStripsOrStampingByRows) {
  struct Case {
    const char* name;
    int32_t mode;
    int16_t length, rainbow, flare;
    bool bounded;
  };
  // On so small an image the longer stars pass the phases' budget even though the phases keep
  // only what falls in the image (the spikes' core does not shrink with the image); the factory
  // length fits, and so does the float host's star: its budget grows with its four-byte samples,
  // as its effects images would if its bands were drawn in one piece.
  const Case cases[] = {{"factory rainbow star", kImageModeRgb16, 50, 50, 30, false},
                        {"plain star, long flare", kImageModeRgb8, 100, 0, 90, true},
                        {"grey host", kImageModeGray16, 70, 80, 60, true},
                        {"float host", kImageModeRgbFloat, 50, 50, 30, false},
                        {"float host, long star", kImageModeRgbFloat, 100, 0, 90, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReleaseImage(&InputImage());
    MakeOutput(c.mode, 240, 180);
    std::vector<LightSourceEntry> sources;
    for (int i = 0; i < 12; ++i) {
      // Quarter fractions up to 5 carry into the whole pixel.
      LightSourceEntry e = Source(15 + 19 * i, i % 6, 12 + 14 * i, (i * 3) % 5);
      e.red = 0xFFFFFFFE - 0x10000000u * i;
      e.blue = 0x80000000u + 0x08000000u * i;
      e.brightness = 0xF0000000u - 0x01000000u * i;
      sources.push_back(e);
    }
    sources[3].state = kLightSourceShown;
    SetSources(sources);
    ParameterSet p = kFactoryParameters;
    p.Quantity = 80;
    p.Length = c.length;
    p.RainbowIntensity = c.rainbow;
    p.SoftFlareIntensity = c.flare;
    const ParameterSetBuffer snapshot = MakeFinalRenderSnapshot(p);

    auto render = [&](int bands, bool planned = true) {
      FillWithNoise(3);
      InitializeEffectRenderers(Renderers(), nullptr,
                                nullptr);  // every render builds its shapes afresh
      testing::gProgressUnits = 0;
      EXPECT_TRUE(Render(snapshot, bands, planned));
      // Each band, empty or not, however its passes are shared out: one unit a source and pass.
      EXPECT_EQ(testing::gProgressUnits, uint64_t(bands) * 2 * sources.size());
      return OutputBytes();
    };
    const std::vector<uint8_t> one = render(1, false);
    FillWithNoise(3);
    EXPECT_NE(OutputBytes(), one);  // the stars changed the image
    EXPECT_EQ(render(1, false), one) << "two renders are identical";
    EXPECT_EQ(render(1), one);
    EXPECT_EQ(render(2), one);
    EXPECT_EQ(render(3), one);
    EXPECT_EQ(render(7), one);
    EXPECT_EQ(render(200), one) << "more bands than rows";
    EXPECT_EQ(StarPhases(Renderers())->bounded(), c.bounded);
  }
}

// A star too long for its phases to be kept draws each band in one piece rather than building
// every phase again for each strip.
TEST_F(BandRender, EachPhaseOfTheStarIsBuiltOnceForAllBandsAndStrips) {
  const struct {
    int16_t length, points;
    bool bounded;
  } cases[] = {{50, 6, false}, {100, 12, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "length " << c.length);
    ReleaseImage(&InputImage());
    MakeOutput(kImageModeRgb8, 600, 400);
    // Eight sources on five distinct phases, in the middle (the phases keep only the entries
    // that fall in the image).
    const int phases[][2] = {{0, 0}, {1, 2}, {0, 0}, {3, 3}, {1, 2}, {2, 0}, {0, 1}, {3, 3}};
    std::vector<LightSourceEntry> sources;
    for (int i = 0; i < 8; ++i)
      sources.push_back(Source(195 + 30 * i, phases[i][0], 200, phases[i][1]));
    SetSources(sources);
    ParameterSet p = kFactoryParameters;
    p.Quantity = 100;
    p.Length = c.length;
    p.NumberOfPoints = c.points;
    InitializeEffectRenderers(Renderers(), nullptr, nullptr);
    ASSERT_TRUE(Render(MakeFinalRenderSnapshot(p), 2));
    EXPECT_EQ(StarPhases(Renderers())->bounded(), c.bounded);
    EXPECT_EQ(StarPhases(Renderers())->builds(), 5);
    const std::vector<uint8_t> kept = OutputBytes();
    FillImage(&InputImage(), {0, 0, 0, 0xFFFFFFFE, 0xFFFFFFFE}, InputImage().dataRect);
    InitializeEffectRenderers(Renderers(), nullptr, nullptr);
    ASSERT_TRUE(Render(MakeFinalRenderSnapshot(p), 1, /*planned=*/false));
    EXPECT_EQ(OutputBytes(), kept) << "the same as stamping the shapes";
  }
}

TEST_F(BandRender, RainbowStarsAreNeutralForAGreyHostImage) {
  auto colouredPixels = [&](int32_t hostMode) {
    ReleaseImage(&InputImage());
    MakeOutput(hostMode, 100, 100);
    SetSources({Source(50, 2, 50, 2)});
    ParameterSetBuffer snapshot = SmallStar();
    snapshot.parameters.RainbowIntensity = 100;
    snapshot.parameters.RainbowFrequency = 100;
    snapshot.parameters.Length = 60;
    snapshot.parameters.Intensity = 100;
    ImageRecord effects;  // the effects on the working scale, without host encoding
    int code = -1;
    EXPECT_TRUE(CreateImage(&effects, InputImage().dataRect, InputImage().dataRect,
                            kImageModeWorkingRgb, nullptr, false, true, &code));
    InitializeEffectRenderers(Renderers(), nullptr, nullptr);
    BindEffectRenderers(Renderers(), snapshot, CurrentRenderImageFacts(Analysis()));
    EXPECT_TRUE(RunEffectsPass(&effects, effects.dataRect, snapshot, Sources()));
    int lit = 0, coloured = 0;
    for (int32_t y = 0; y < 100; ++y) {
      for (int32_t x = 0; x < 100; ++x) {
        WorkingPixel p;
        effects.fetch(&effects, &p, x, y);
        lit += p.red > 0;
        coloured += p.red != p.green || p.green != p.blue;
      }
    }
    ReleaseImage(&effects);
    EXPECT_GT(lit, 200);
    return coloured;
  };
  EXPECT_EQ(colouredPixels(kImageModeGray16), 0);
  EXPECT_GT(colouredPixels(kImageModeRgb16), 100);
}

// A phase left with only the entries its stamps can show in an area stamps every pixel of the
// area as the whole phase does; what lies beyond the area for every stamp, or below what a faint
// stamp can show, goes.
TEST_F(BandRender, APhaseKeepsWhatItsStampsCanShowAndStampsTheSame) {
  MakeOutput(kImageModeRgb8, 200, 150);
  ParameterSet p = kFactoryParameters;  // a rainbow star, far larger than the image
  p.Quantity = 100;
  BindEffectRenderers(Renderers(), MakeFinalRenderSnapshot(p), CurrentRenderImageFacts(Analysis()));
  StarPhaseSet& set = *StarPhases(Renderers());
  const RowIndexedPhase* full = set.Acquire(5, {}, {});
  ASSERT_NE(full, nullptr);
  const uint32_t level = Analysis().presenceThreshold / 2;
  const WorkingPixel bright{0xFFFFFFFE, 0xC0000000, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFE};
  const WorkingPixel faint{0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 0x20000000, 0xFFFFFFFE};
  const ImageRect image{0, 0, 200, 150}, all{-30000, -30000, 30000, 30000};
  const struct {
    const char* name;
    ImageRect area;
    std::vector<std::pair<QuarterPixelPoint, WorkingPixel>> stamps;
    bool drops;
  } cases[] = {{"the area holds the star", all, {{{100, 1, 75, 1}, bright}}, false},
               {"a stamp in a corner", image, {{{4, 1, 3, 1}, bright}}, true},
               {"stamps in opposite corners",
                image,
                {{{4, 1, 3, 1}, bright}, {{196, 1, 146, 1}, bright}},
                true},
               {"a faint stamp", all, {{{100, 1, 75, 1}, faint}}, true},
               {"a faint and a bright stamp",
                image,
                {{{60, 1, 40, 1}, faint}, {{140, 1, 110, 1}, bright}},
                true},
               {"a stamp too far away", image, {{{-9000, 1, -9000, 1}, bright}}, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<StampReach> reach;
    for (const auto& [centre, colour] : c.stamps) {
      reach.push_back({centre, LeastShownEntryValue(colour, level)});
    }
    RowIndexedPhase left = *full;
    left.storage = {};
    ASSERT_EQ(ReallocateBuffer(full->storage.size, &left.storage), 0);
    std::memcpy(left.storage.data, full->storage.data, full->storage.size);
    ASSERT_TRUE(DropUnshownEntries(c.area, reach, &left));
    EXPECT_EQ(left.top, full->top);
    EXPECT_EQ(left.bottom, full->bottom);
    if (c.drops) {
      EXPECT_LT(left.entryCount, full->entryCount);
    } else {
      EXPECT_EQ(left.entryCount, full->entryCount);
    }
    for (const auto& [centre, colour] : c.stamps) {
      const ImageRect box{std::max(c.area.left, image.left), std::max(c.area.top, image.top),
                          std::min(c.area.right, image.right),
                          std::min(c.area.bottom, image.bottom)};
      auto stamp = [&](const RowIndexedPhase& phase) {
        FillImage(&InputImage(), {0, 0, 0, 0xFFFFFFFE, 0xFFFFFFFE}, image);
        StampRowIndexedPhase(&InputImage(), phase, set.colours(), centre, box, colour, level);
        return OutputBytes();
      };
      const std::vector<uint8_t> whole = stamp(*full);
      EXPECT_EQ(stamp(left), whole);
    }
    ReleaseRowIndexedPhase(&left);
  }
  set.Done(5, {});
}

// One worker's band is split so that its effects image holds a sixth of the image; bands shared
// by workers are split into twelve strips to deal; a strip never holds more than kStripPixels
// pixels however large the image (96 Mpx in one band: 91.6 strips of 1 Mi) nor less than a row.
TEST(FinalRenderBandPlan, StripsFollowTheWorkersTheDealAndTheSizeCap) {
  const struct {
    int32_t width, height;
    uint32_t bands, strips;
  } cases[] = {{6000, 4000, 1, 23},  {6000, 4000, 2, 12}, {6000, 4000, 3, 12}, {12000, 8000, 1, 92},
               {12000, 8000, 2, 46}, {100, 20, 2, 10},    {100, 4, 1, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.bands);
    std::vector<PixelRect> split;
    for (uint32_t b = 0; b < c.bands; ++b) {
      split.push_back({0, int32_t(c.height * int64_t{b} / c.bands), c.width,
                       int32_t(c.height * int64_t{b + 1} / c.bands)});
    }
    EXPECT_EQ(FinalRenderBandPlanIn(split[0], split).strips, c.strips);
  }
}

// Strips dealt to threads that ask at once: every row of the image is drawn once, whole rows,
// and each band hands out each of its strips (its progress shares) exactly once.
TEST(StripDeal, EveryRowIsDealtOnceWhateverTheSplit) {
  const struct {
    int32_t width, height;
    int bands;
  } cases[] = {{6000, 4000, 2}, {300, 1001, 3}, {40, 3, 6}, {12000, 8000, 2}, {7, 5, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.bands);
    const auto split = SplitIntoBands({0, 0, c.width, c.height}, c.bands);
    StripDeal deal(split);
    std::vector<std::vector<StripDeal::Strip>> taken(3);
    std::vector<std::thread> threads;
    for (auto& mine : taken) {
      threads.emplace_back([&deal, &mine] {
        for (StripDeal::Strip s{}; deal.Next(&s);) mine.push_back(s);
      });
    }
    for (std::thread& t : threads) t.join();
    std::vector<int> drawn(c.height, 0);
    std::map<std::pair<int32_t, uint32_t>, int> shares;  // (band's top, strip) -> times dealt
    for (const auto& mine : taken) {
      for (const StripDeal::Strip& s : mine) {
        EXPECT_EQ(s.rows.left, 0);
        EXPECT_EQ(s.rows.right, c.width);
        for (int32_t y = s.rows.top; y < s.rows.bottom; ++y) ++drawn[y];
        const auto band = std::find_if(split.begin(), split.end(), [&](const PixelRect& b) {
          return b.top <= s.rows.top && s.rows.top < b.bottom;
        });
        ASSERT_NE(band, split.end());
        EXPECT_EQ(s.strips, FinalRenderBandPlanIn(*band, split).strips);
        ++shares[{band->top, s.strip}];
      }
    }
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), 1), c.height);
    for (const auto& [key, times] : shares) EXPECT_EQ(times, 1);
    EXPECT_EQ(shares.size(), deal.count());
  }
}

TEST_F(BandRender, AnEmptyBandDrawsNothingButCountsItsProgress) {
  MakeOutput(kImageModeRgb8, 40, 3);
  SetSources({Source(20, 0, 1, 0), Source(10, 0, 2, 0)});
  ASSERT_TRUE(Render(SmallStar(), 6));  // three bands without rows
  EXPECT_EQ(testing::gProgressUnits, 6u * 2 * 2);
}

// Bands of a long star share their tails (the flare, conversion and composite of each band's
// row chunks): a cancel at any point, in a band's star or in a chunk another worker took, ends
// every band (none waits for a chunk that is never drawn) with the cancel's result.
TEST_F(BandRender, ACancelAnywhereInSharedTailsEndsEveryBand) {
  const auto setUp = [&] {
    MakeOutput(kImageModeRgb8, 240, 180);
    std::vector<LightSourceEntry> sources;
    for (int i = 0; i < 12; ++i) sources.push_back(Source(15 + 19 * i, i % 4, 12 + 14 * i, i / 4));
    SetSources(sources);
  };
  ParameterSet p = kFactoryParameters;
  p.Length = 100;
  p.RainbowIntensity = 0;
  p.SoftFlareIntensity = 90;
  const ParameterSetBuffer snapshot = MakeFinalRenderSnapshot(p);
  setUp();
  constexpr int64_t kUnlimited = int64_t{1} << 40;
  testing::gProgressBudget = kUnlimited;
  ASSERT_TRUE(Render(snapshot, 2));
  ASSERT_TRUE(StarPhases(Renderers())->bounded()) << "the bands were drawn in one piece";
  const int64_t calls = kUnlimited - testing::gProgressBudget;
  for (const int64_t budget : {int64_t{0}, calls / 4, calls / 2, calls * 3 / 4, calls - 1}) {
    SCOPED_TRACE(::testing::Message() << "cancel after " << budget << " of " << calls);
    TearDown();
    SetUp();
    setUp();
    testing::gProgressBudget = budget;
    EXPECT_FALSE(Render(snapshot, 2));
    EXPECT_EQ(RunResult(), kUserCanceledErr);
  }
}

// The first array of a star build: a sub-shape's, or the packed entries of a row-indexed build.
bool FailFreshStarArrays(size_t size, bool fresh, bool isRealloc) {
  return isRealloc && fresh &&
         (size == uint64_t{kSpikeEntryGrowth} * sizeof(SubShapeEntry) ||
          size == uint64_t{kSpikeEntryGrowth} * sizeof(PackedSpikeEntry));
}

TEST_F(BandRender, StarsThatCannotBeBuiltFailTheRenderWithOneWarningAndLeaveTheImage) {
  if (!testing::AllocationFailuresAvailable()) GTEST_SKIP() << "sanitizer allocator";
  MakeOutput(kImageModeRgb8, 200, 150);
  SetSources({Source(50, 1, 40, 2), Source(150, 3, 110, 0), Source(100, 0, 75, 1)});
  FillWithNoise(9);
  const std::vector<uint8_t> before = OutputBytes();
  ParameterSet p = kFactoryParameters;
  p.SoftFlareIntensity = 0;
  ReportCapture reports;
  ResetLowMemoryWarning();
  {
    testing::FailingAllocations failing(FailFreshStarArrays);
    EXPECT_FALSE(Render(MakeFinalRenderSnapshot(p), 3));
  }
  EXPECT_EQ(reports.Count("User Message: 'Warning' - 'Low memory.  Check image - some effects "
                          "may not be rendered.'"),
            1u);
  EXPECT_EQ(OutputBytes(), before) << "no band composited anything";
}

}  // namespace
}  // namespace lumeray
