// The screen context: an EGL window surface on an X11 window (needs a display; run under Xvfb).
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "gl/gl_context.h"
#include "gl/glew_records.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>

namespace lumeray {
namespace {

TEST(GlWindow, AScreenContextDrawsIntoTheWindowAndSwaps) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X display";
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 64, 48, 0, 0, 0);
  XMapWindow(display, window);
  XSync(display, False);
  PixelFormatRules rules;
  rules.assumeAccelerated = true;  // a software rasteriser counts as accelerated here
  const PixelFormat format = SelectPixelFormat(display, false, rules);
  ASSERT_NE(format.index, 0);
  EXPECT_TRUE(format.accelerated);
  OpenGLContext context;
  ASSERT_TRUE(CreateScreenContext(&context, display, window, {0, 0, 64, 48}, format));
  EXPECT_EQ(context.type, kContextScreen);
  EXPECT_NE(glewGetContext(), nullptr);
  // Pixel (0, 0) of the drawing coordinates is the top left of the window.
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor3f(1, 0, 0);
  glRecti(0, 0, 8, 4);
  unsigned char top[4] = {}, bottom[4] = {};
  glReadPixels(2, 47, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, top);
  glReadPixels(2, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottom);
  EXPECT_EQ(top[0], 255);
  EXPECT_EQ(bottom[0], 0);
  EXPECT_TRUE(PresentFrame(&context));
  ReleaseOpenGLContext(&context);
  EXPECT_EQ(context.type, kContextNone);
  EXPECT_EQ(GlewRecordCount(), 0);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
}

TEST(GlWindow, AHiddenContextAskingForAccelerationLooksAtTheWindowSystem) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr);
  struct Row {
    bool assumeAccelerated;
    bool accelerated;
  };
  // The software rasteriser behind Xvfb is no graphics card, unless declared one.
  for (const Row row : {Row{false, false}, Row{true, true}}) {
    PixelFormatRules rules;
    rules.assumeAccelerated = row.assumeAccelerated;
    bool accelerated = true;
    OpenGLContext context;
    ASSERT_TRUE(CreateHiddenOpenGLContext(&context, &accelerated, rules));
    EXPECT_EQ(accelerated, row.accelerated);
    EXPECT_TRUE(DestroyHiddenOpenGLContext(&context));
  }
}

}  // namespace
}  // namespace lumeray
