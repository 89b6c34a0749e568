// The preview control of the main dialog (`ProxyDisplay`, id 1040): a widget with its own
// native window, so that a drawing thread can later draw into it. Until the live preview is
// drawn it shows the splash picture and, every 250 ms, passes the light source analysis's
// progress to the dialog (MSG_PROGRESS, then MSG_INITIALIZATION_COMPLETE once it has finished).
//
// Threading contract: UI thread only; the analysis watch's functions are called on it.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

#include "dialog/dialog_procedures.h"
#include "platform/window.h"

namespace lumeray::dialog {

class PreviewDisplay : public QWidget {
 public:
  PreviewDisplay(QWidget* parent, platform::WindowHandle dialog, AnalysisQueries watch);

  uint32_t tool() const { return tool_; }
  void SetTool(uint32_t tool) { tool_ = tool; }
  bool finished() const { return finished_; }

  // The splash picture for a size.
  static QImage SplashPicture(const QSize& size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void Poll();

  platform::WindowHandle dialog_;
  AnalysisQueries watch_;
  int timer_ = 0;
  bool finished_ = false;
  uint32_t tool_ = 0;
  QImage splash_;  // made again only when the size changes
};

}  // namespace lumeray::dialog
