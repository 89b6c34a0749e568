// The pictures of the main dialog: the four tool icons (Pan, Zoom, Hide, Show) in their
// selected, unselected and disabled looks, the logo and the help icon. Drawn, not loaded.
//
// Threading contract: UI thread only (QPixmap).
#pragma once

#include <QPixmap>
#include <QSize>

#include <cstdint>

namespace lumeray::dialog {

enum class IconLook { kSelected, kUnselected, kDisabled };

QPixmap ToolIcon(uint32_t tool, IconLook look, const QSize& size);
QPixmap LogoPicture(const QSize& size);

}  // namespace lumeray::dialog
