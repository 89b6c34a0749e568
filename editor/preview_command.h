// `lumeray preview INPUT OUTPUT [--size WxH] [--zoom Z] [--center X,Y] [settings] [--plugin PATH]
// [--quiet]`: one frame of the module's live preview of INPUT, drawn by the module's preview
// engine in an off-screen bitmap context (no window, no dialog) after its light source
// analysis, written to OUTPUT (8-bit RGB, any format the editor writes). Defaults: 800 x 600,
// 100 %, centred on the image. The input image is never changed.
//
// Threading: runs on the main thread, which is the module's run thread.
#pragma once

#include <string>
#include <vector>

#include "descriptor.h"

namespace lumeray {

struct PreviewArguments {
  std::string input;
  std::string output;
  std::string plugin;
  bool quiet = false;
  int width = 800;
  int height = 600;
  double zoom = 100.0;
  double centerX = -1.0;  // image pixels; negative: the image's centre
  double centerY = -1.0;
  Descriptor settings;
};

// `arguments` starts with "preview".
bool ParsePreview(const std::vector<std::string>& arguments, PreviewArguments* preview,
                  std::string* error);
// Returns the exit status.
int RunPreview(const PreviewArguments& arguments);

}  // namespace lumeray
