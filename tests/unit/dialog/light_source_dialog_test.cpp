// The light source listing: one line per entry, selection, copy as plain text with CR LF.
#include <QClipboard>
#include <QLabel>
#include <QListWidget>

#include "dialog/dialog_procedures.h"
#include "dialog/light_source_dialog.h"
#include "image/buffer.h"
#include "unit/dialog/dialog_test_support.h"

namespace lumeray {
namespace {

TEST(LightSourceListing, ListsEveryEntryAndCopiesTheSelection) {
  testing::TestApplication();
  MasterLightSourceTable table;
  {
    dialog::LightSourceDialog empty(table, nullptr);
    EXPECT_EQ(empty.countText()->text(), "NumberOfLightSources = 0");
    EXPECT_EQ(empty.list()->count(), 0);
  }
  ASSERT_EQ(PreallocateMasterLightSourceTable(&table, 2), 0);
  const auto entry = [](int x, int xq, int y, int yq, float squaredRadius, uint32_t bright,
                        uint32_t state) {
    LightSourceEntry e{};
    e.x = x;
    e.xFraction = xq;
    e.y = y;
    e.yFraction = yq;
    e.squaredRadius = squaredRadius;
    e.brightness = bright;
    e.state = state;
    return e;
  };
  table.data()[0] = entry(10, 2, 20, 0, 2.25f, 0xABC, kLightSourceNormal);
  table.data()[1] = entry(30, 0, 40, 1, 0.25f, 0x12, kLightSourceHidden);
  table.count = 2;

  dialog::LightSourceDialog listing(table, nullptr);
  listing.show();
  EXPECT_EQ(listing.countText()->text(), "NumberOfLightSources = 2");
  ASSERT_EQ(listing.list()->count(), 2);

  QTest::keyClick(listing.list(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(listing.list(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "LightSourceTable[0000] x = 10.50, y = 20.00, Diam = 3.00, Bright = ABC\r\n"
            "LightSourceTable[0001] x = 30.00, y = 40.25, Diam = 1.00, Bright = 12 (D)\r\n");

  // The exported procedure reaches the listing by its window; OK ends it.
  EXPECT_EQ(dialog::LightSourceTableProcedure(listing.handle(), 0x0111, 1, 0), 1);
  EXPECT_FALSE(listing.isVisible());
  EXPECT_EQ(dialog::LightSourceTableProcedure(0x7FFF0000, 0x0111, 1, 0), 0);
  FreeMasterLightSourceTable(&table);
}

}  // namespace
}  // namespace lumeray
