// The preview control of the main dialog (`ProxyDisplay`, id 1040): a widget with its own
// native window. It shows the splash picture and, every 250 ms, passes the light source
// analysis's progress to the dialog (MSG_PROGRESS, then MSG_INITIALIZATION_COMPLETE once it has
// finished) until the background preview task has drawn its first frame; from then on it shows
// the task's frames.
//
// Live preview: StartLivePreview starts a PreviewTask. On an X display the task is given this
// control's native window (and an X connection of its own): where an accelerated pixel format
// is found it draws and swaps onto the window (the screen path; Qt then paints nothing here,
// and a paint request asks for a frame), else it draws into a bitmap context (any display, or
// none). The task's callbacks are posted to the
// dialog as MSG_REDRAW_PREVIEW_FRAME (a frame is in the shown bitmap: FrameReady copies it into
// the picture painted here) and MSG_INVALIDATE_PREVIEW (initialisation ended: a frame of the
// whole preview is asked for). Every change of the view, the settings or the tools asks for a
// frame with RequestFrame, which hands a new snapshot to the task's one-entry slot. A size
// change goes through the task's resize protocol. StopLivePreview (OK, Cancel, destruction)
// ends the task and releases its context before the dialog goes on. A task that fails (no
// context, no memory) sets the run result -50 on this thread, which closes the dialog.
//
// The view (zoom, scroll) is a PreviewView; the tools (preview_tools.cpp) act on it and on the
// master light source table's display states, which the final render reads too. A left-button
// press picks a mouse state from the effective tool (Pan while the space bar is held over the
// preview) and Alt/Ctrl; panning follows the pointer every kPanTimerMs, and a dragged rectangle
// scrolls the view every kEdgeTimerMs while the pointer is outside the inner rectangle. The
// keys scroll (arrows: pixels; page keys: pages, with Shift 10 pixels; Ctrl: sideways; Home
// and End: the corners). The zoom menu lists the zoom steps, "Actual Pixels", "Fit in View"
// and "Fit on Screen" (the dialog over the whole screen, then the image fitted).
//
// Threading contract: UI thread only; the analysis watch's functions are called on it and, for
// `complete`, on the task thread (it must be thread-safe). The task's callbacks only post.
#pragma once

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "dialog/dialog_procedures.h"
#include "effects/parameter_set.h"
#include "platform/window.h"
#include "preview/view_model.h"

class QLabel;
class QMenu;
class QScrollBar;

namespace lumeray {
class PreviewTask;
}

namespace lumeray::dialog {

// The dialog controls the preview drives (any may be null).
struct PreviewControls {
  QScrollBar* horizontal = nullptr;
  QScrollBar* vertical = nullptr;
  QWidget* zoomIn = nullptr;
  QWidget* zoomOut = nullptr;
  QLabel* zoomText = nullptr;
  QWidget* zoomDrop = nullptr;
};

// The states of the left mouse button (0 when it is up).
enum PreviewMouseState : int {
  kMouseIdle = 0,
  kMouseNoTool = 1,
  kMouseZoomOut = 2,  // Pan or Zoom with Alt: one step out at the release
  kMousePanning = 4,  // Pan
  kMouseZoomIn = 5,   // Zoom, or Pan with Ctrl: a step in at a click, a dragged rectangle
  kMouseHide = 6,     // 6..9: hide, undo hide, show, undo show in the master table
};

inline constexpr int kPanTimerMs = 15;
inline constexpr int kEdgeTimerMs = 100;
// Zoom menu commands: the steps from 6 % (40017) to 6400 % (40001), then these.
inline constexpr int kZoomCommandActualPixels = 40018;
inline constexpr int kZoomCommandFitInView = 40019;
inline constexpr int kZoomCommandFitOnScreen = 40020;

class PreviewDisplay : public QWidget {
 public:
  PreviewDisplay(QWidget* parent, platform::WindowHandle dialog, AnalysisQueries watch);
  ~PreviewDisplay() override;

  uint32_t tool() const { return tool_; }
  void SetTool(uint32_t tool);
  // Pan while the space bar is held over the preview, else the selected tool.
  uint32_t effectiveTool() const { return spaceHeld_ ? 1u : tool_; }
  int mouseState() const { return mouseState_; }
  bool finished() const { return finished_; }

  // Starts the background task on `parameters` (which must outlive the preview or the call of
  // StopLivePreview); nothing happens when the watch names no image. False when the task could
  // not start.
  bool StartLivePreview(const ParameterSet* parameters, const PreviewControls& controls);
  void StopLivePreview();
  bool live() const { return task_ != nullptr; }
  PreviewTask* task() const { return task_.get(); }

  // Whether effects are drawn (the Preview check box).
  void SetPreviewEnabled(bool enabled);
  // Hands a snapshot of the current settings and view to the task.
  void RequestFrame();
  // A frame is in the task's shown bitmap: copy it and repaint.
  void FrameReady();
  bool hasFrame() const { return !frame_.isNull(); }
  // The sequence number of the snapshot the shown frame was drawn from, at least (0: none yet).
  uint32_t shownSequence() const { return shownSequence_; }
  // The sequence number of the last snapshot handed to the task (0: none yet).
  uint32_t lastRequested() const { return lastRequested_; }
  const QImage& frame() const { return frame_; }

  const PreviewView& view() const { return view_; }
  // The view operations of the tools, the scroll bars and the zoom controls.
  void SetZoom(double zoom, QPoint centre);  // centre in control pixels
  void ZoomStep(bool in, QPoint centre);
  void ScrollBy(int32_t dx, int32_t dy);
  // The whole image in the inner rectangle (one pixel inside the control), centred.
  void FitInView();
  // The dialog over the work area of its screen, then FitInView.
  void FitOnScreen();
  // Applies a zoom menu command; `centre` (control pixels) or the view's centre when null.
  void ZoomCommand(int command, const QPoint* centre = nullptr);
  // Opens the zoom menu (placement: with its bottom edge 2 pixels above `globalPoint`, centred
  // on it or starting at it; or, the context menu, with its right edge at it) and applies the
  // chosen command.
  enum MenuPlacement { kMenuAboveCentred, kMenuAboveFrom, kMenuLeftOf };
  void OpenZoomMenu(QPoint globalPoint, int placement);
  QMenu* zoomMenu();
  // Hides or shows the light sources of a click (a point) or a drag (a rectangle), in control
  // pixels; true when a source changed.
  bool HideShow(const QRect& area, bool click, bool show);

  // The splash picture for a size.
  static QImage SplashPicture(const QSize& size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  QPaintEngine* paintEngine() const override;
  void timerEvent(QTimerEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Poll();
  void CloseDisplay();
  // FitInView without asking for a frame; at the dialog's start a fit between 100 % and 150 %
  // shows 100 %.
  void FitView(bool start);
  void ViewChanged();
  void SyncControls();
  void SetToolRect(const QRect& rect);
  // Image pixel of a control point.
  QPointF ImagePoint(QPoint point) const;
  // The zoom, clamped, centred on the image point under `centre` (control pixels).
  void ZoomCentred(double zoom, QPoint centre);
  // Scrolls by whole pages (the display rectangle's size) across and down.
  void ScrollPages(int32_t across, int32_t down);
  QRect InnerRect() const { return rect().adjusted(1, 1, -1, -1); }
  void UpdateCursor();
  void PanStep();
  void EdgeStep();
  void StopMouseTimers();

  platform::WindowHandle dialog_;
  AnalysisQueries watch_;
  int timer_ = 0;
  bool finished_ = false;
  uint32_t tool_ = 0;
  QImage splash_;  // made again only when the size changes

  std::unique_ptr<PreviewTask> task_;
  const ParameterSet* parameters_ = nullptr;
  PreviewControls controls_;
  PreviewView view_;
  bool previewEnabled_ = true;
  void* xDisplay_ = nullptr;  // the task's X connection (screen path)
  bool onScreen_ = false;     // the task swaps its frames onto this window
  bool syncing_ = false;      // the scroll bars are being set from the view
  QImage frame_;
  uint32_t lastRequested_ = 0;
  uint32_t shownSequence_ = 0;

  // The mouse: its state, the drag's start, the point last acted on and the latest pointer
  // position (control pixels), and the timers of panning and of a dragged rectangle.
  int mouseState_ = kMouseIdle;
  QPoint dragStart_;
  QPoint dragLast_;
  QPoint pointer_;
  int panTimer_ = 0;
  int edgeTimer_ = 0;
  bool spaceHeld_ = false;
  QMenu* zoomMenu_ = nullptr;
  std::vector<QCursor> cursors_;  // zoom in, out, limit; show; hide
  QRect toolRect_;                // the pending Hide/Show rectangle, empty when none
  int wheelRemainder_ = 0;
};

}  // namespace lumeray::dialog
