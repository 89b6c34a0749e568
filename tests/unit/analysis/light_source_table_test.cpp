#include <gtest/gtest.h>

#include <vector>

#include "analysis/light_source_table.h"
#include "analysis/master_light_source_table.h"

namespace lumeray {
namespace {

QuarterPixelPoint At(double x, double y) {
  const int qx = static_cast<int>(x * 4), qy = static_cast<int>(y * 4);
  return {qx / 4, qx % 4, qy / 4, qy % 4};
}

int Add(LightSourceTable* t, double x, double y, float r, uint32_t colour = 1000) {
  return AddToLocalTable(t, At(x, y), r, r * r, colour, colour, colour);
}

class Tables : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeLightSourceTable(&a);
    FreeLightSourceTable(&b);
    FreeMasterLightSourceTable(&master);
  }
  LightSourceTable a, b;
  MasterLightSourceTable master;
};

TEST_F(Tables, OverlappingLightSourcesMergeKeepingTheLargerOne) {
  Add(&a, 50, 50, 2.0f, 10);
  Add(&a, 51, 50, 5.0f, 20);    // overlaps and is larger: takes over position and colour
  Add(&a, 50.5, 50, 1.0f, 30);  // overlaps, smaller: dropped
  Add(&a, 70, 50, 2.0f, 40);    // far enough: appended
  ASSERT_EQ(a.count, 2u);
  EXPECT_EQ(a.data()[0].x, 51);
  EXPECT_EQ(a.data()[0].radius, 5.0f);
  EXPECT_EQ(a.data()[0].red, 20u);
  EXPECT_EQ(a.largestRadius, 5.0f);
}

TEST_F(Tables, ALargerSourceOverManyEntriesBecomesOneEntryAndADroppedOneChangesNothing) {
  Add(&a, 50, 40, 1.0f, 1);  // three small highlights close together, in scan order
  Add(&a, 46, 44, 1.0f, 2);
  Add(&a, 54, 45, 1.0f, 3);
  Add(&a, 60, 44, 1.0f, 4);  // and one apart
  Add(&a, 50, 44, 6.0f, 5);  // a larger source covering the three
  ASSERT_EQ(a.count, 2u);
  EXPECT_EQ(a.data()[0].red + a.data()[1].red, 5u + 4u);
  // Overlapping the large entry (as large) and the lone one (smaller): dropped, nothing moves.
  Add(&a, 55, 44, 6.0f, 6);
  ASSERT_EQ(a.count, 2u);
  EXPECT_EQ(a.data()[0].red + a.data()[1].red, 5u + 4u);
  // The table stays in row order whatever rows the sources come with.
  Add(&a, 10, 90, 1.0f, 7);
  Add(&a, 10, 20, 1.0f, 8);
  for (uint32_t i = 1; i < a.count; ++i) EXPECT_LE(a.data()[i - 1].y, a.data()[i].y);
}

TEST_F(Tables, AHighlightAcrossABandBorderMergesIntoOneKeepingTheLargerRadius) {
  Add(&a, 100, 98, 3.0f, 500);  // band 0..100, seen near its bottom
  Add(&a, 20, 10, 1.0f, 100);
  Add(&b, 100.5, 101, 4.0f, 900);  // band 100..200, the same highlight
  Add(&b, 300, 150, 2.0f, 200);
  ASSERT_EQ(AddLightSourceTableToTable(&master, a, 0), 0);
  ASSERT_EQ(AddLightSourceTableToTable(&master, b, 100), 0);
  ASSERT_EQ(master.count, 3u);
  // Sorted by row.
  EXPECT_EQ(master.data()[0].y, 10);
  EXPECT_EQ(master.data()[1].y, 101);
  EXPECT_EQ(master.data()[1].radius, 4.0f);
  EXPECT_EQ(master.data()[2].y, 150);
}

TEST_F(Tables, NormalisationScalesToTheBrightestVisibleChannelAndSortsBrightestFirst) {
  AddToLocalTable(&a, At(10, 10), 1, 1, 100, 50, 25);
  AddToLocalTable(&a, At(40, 10), 1, 1, 200, 200, 200);
  AddToLocalTable(&a, At(80, 10), 1, 1, 0, 0, 0);
  AddLightSourceTableToTable(&master, a, 0);
  EXPECT_EQ(NormalizeAndSortLightSources(&master), 3u);
  const LightSourceEntry& top = master.data()[0];
  EXPECT_EQ(top.x, 40);
  EXPECT_EQ(top.red, 0xFFFFFFFEu);
  const LightSourceEntry& second = master.data()[1];
  EXPECT_EQ(second.red, 0x80000000u);
  EXPECT_EQ(second.green, 0x40000000u);
  EXPECT_EQ(second.brightness,
            ((second.red >> 2) + (second.green >> 2) + (second.blue >> 2)) / 3 * 4);
  EXPECT_EQ(master.data()[2].brightness, 0u);
}

TEST_F(Tables, AllBlackColoursNormaliseToFull) {
  AddToLocalTable(&a, At(10, 10), 1, 1, 0, 0, 0);
  AddLightSourceTableToTable(&master, a, 0);
  NormalizeAndSortLightSources(&master);
  EXPECT_EQ(master.data()[0].red, 0xFFFFFFFEu);
  EXPECT_EQ(master.data()[0].blue, 0xFFFFFFFEu);
}

TEST_F(Tables, HideThenShowThenUndo) {
  Add(&a, 10, 10, 1.0f);
  Add(&a, 60, 60, 1.0f);
  AddLightSourceTableToTable(&master, a, 0);
  const uint32_t g0 = master.generation;

  EXPECT_FALSE(HideShowInRectangle(&master, {0, 0, 20, 20}, kUndoHide));
  EXPECT_EQ(master.generation, g0);

  EXPECT_TRUE(HideShowInRectangle(&master, {0, 0, 20, 20}, kHide));
  EXPECT_TRUE(HideShowInRectangle(&master, {0, 0, 20, 20}, kShow));
  LightSourceEntry& e = master.data()[0];
  EXPECT_EQ(e.state, 2u);
  EXPECT_EQ(e.savedState, 0u);
  EXPECT_TRUE(HideShowInRectangle(&master, {0, 0, 20, 20}, kUndoShow));
  EXPECT_EQ(e.state, 0u);
  EXPECT_EQ(master.generation, g0 + 3);
  EXPECT_EQ(master.data()[1].state, 1u) << "outside the rectangle";
  // Right and bottom are exclusive.
  EXPECT_FALSE(HideShowInRectangle(&master, {0, 0, 60, 60}, kUndoShow));
  EXPECT_TRUE(HideShowInRectangle(&master, {60, 60, 61, 61}, kHide));
}

TEST_F(Tables, NearestUsesTheZoomedSearchRadiusAndAlwaysCountsAGeneration) {
  EXPECT_EQ(NearestSearchRadius(100.0), 80);
  EXPECT_EQ(NearestSearchRadius(50.0), 160);
  EXPECT_EQ(NearestSearchRadius(400.0), 80);
  Add(&a, 100, 100, 1.0f);
  Add(&a, 130, 100, 1.0f);
  AddLightSourceTableToTable(&master, a, 0);
  const uint32_t g0 = master.generation;

  EXPECT_TRUE(HideShowNearest(&master, 180, 180, 100.0, kHide));  // too far
  EXPECT_EQ(master.data()[0].state, 1u);
  EXPECT_EQ(master.data()[1].state, 1u);
  EXPECT_EQ(master.generation, g0 + 1);

  EXPECT_TRUE(HideShowNearest(&master, 125, 101, 100.0, kHide));
  EXPECT_EQ(master.data()[1].state, 0u);
  EXPECT_EQ(master.data()[0].state, 1u);
  // Undo a hide only looks at hidden entries, even when another one is nearer.
  EXPECT_TRUE(HideShowNearest(&master, 105, 100, 50.0, kUndoHide));
  EXPECT_EQ(master.data()[1].state, 1u);
}

TEST_F(Tables, TraceListsCountThenEntries) {
  Add(&a, 10.25, 20.5, 2.0f);
  AddLightSourceTableToTable(&master, a, 0);
  NormalizeAndSortLightSources(&master);
  HideShowInRectangle(&master, {0, 0, 100, 100}, kHide);
  LightSourceTableTrace trace(master);
  EXPECT_EQ(*trace.Next(), "NumberOfLightSources = 1\n\n");
  EXPECT_EQ(*trace.Next(),
            "LightSourceTable[0000] x = 10.25, y = 20.50, Diam = 4.00, Bright = FFFFFFFC (D)");
  EXPECT_FALSE(trace.Next().has_value());
}

}  // namespace
}  // namespace lumeray
