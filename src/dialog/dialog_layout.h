// The main dialog's layout: every control recorded once with its initial rectangle and its
// anchoring rule (dialog_template's LayoutRule); on each size change all controls move in one
// batch (painting held until the last has moved). Also the dialog's minimum size and the fit of
// a remembered window rectangle onto the monitors.
//
// Threading contract: Record and Reposition on the UI thread; ControlRectangle and
// ControlPlacement from any thread (the recorded rectangles are guarded by the items lock).
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <mutex>
#include <span>
#include <vector>

#include "dialog/dialog_template.h"

namespace lumeray::dialog {

inline constexpr size_t kMaximumDialogItems = 100;

struct DialogItem {
  QWidget* widget;
  int id;
  QRect initial;  // in dialog client coordinates
  AnchorRules rules;
  QRect current;
};

class DialogLayout {
 public:
  // Records the dialog's client size and each control (at most kMaximumDialogItems; the rest
  // stay where the template put them, with the overflow reported).
  void Record(QWidget* dialog, std::span<QWidget* const> controls);
  // Moves every control for the dialog's current client size; false when nothing is recorded.
  bool Reposition(QWidget* dialog);

  // The current size of a recorded control as (0, 0, width, height); empty when not recorded.
  QRect ControlRectangle(int id) const;
  // The current rectangle of a recorded control in dialog client coordinates.
  QRect ControlPlacement(int id) const;
  size_t count() const;
  QSize initialClientSize() const { return initialClient_; }

  // The rectangle a control takes for a change of the client size by (dw, dh).
  static QRect Anchored(const QRect& initial, const AnchorRules& rules, int dw, int dh);

 private:
  mutable std::mutex itemsLock_;   // DialogItemsSection
  std::vector<DialogItem> items_;  // guarded by itemsLock_
  QSize initialClient_;
};

// Where a dialog opened at a remembered rectangle goes: unchanged when it lies within the
// bounding box of the monitors; otherwise onto the nearest monitor, shrunk to it when larger (but
// never below the initial size) and centred in it.
QRect FitRectToMonitors(const QRect& rect, const QSize& initialSize,
                        std::span<const QRect> monitors);

}  // namespace lumeray::dialog
