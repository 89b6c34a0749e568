// Opening the main dialog on a 24 MP (6000 x 4000) image until its preview control shows the
// first frame with stars: the preview task's start (context, frame composer), the fitted view,
// the host image from an eighth-size level and 1 000 light sources' effects, the read-back and
// the copy into the control. Offscreen Qt platform, bitmap context on the machine's EGL driver.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <cmath>
#include <memory>

#include "analysis/master_light_source_table.h"
#include "analysis/presence_threshold.h"
#include "dialog/dialog_template.h"
#include "dialog/main_dialog.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"
#include "preview/proxy_layer.h"
#include "preview_scene.h"
#include "run/input_image.h"

namespace lumeray {
namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int kSources = 1000;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

bool EighthSource(void* context, ImageRecord* image, ProxyScale* scale) {
  *image = *static_cast<ImageRecord*>(context);
  scale->x = scale->y = 0.125;
  return true;
}

void BM_DialogToFirstFrame(benchmark::State& state) {
  Application();
  InitializeFixedTables();
  const ImageRect bounds{0, 0, kWidth, kHeight};
  int code = 0;
  CreateImage(&InputImage(), bounds, bounds, kImageModeRgb8, nullptr, false, true, &code);
  SetImageDiagonal(static_cast<uint32_t>(std::hypot(kWidth, kHeight) + 1.0));
  bench::BenchRun().analysis.presenceThreshold = PresenceThresholdForDepth(1);
  ImageRecord eighth;
  const ImageRect small{0, 0, kWidth / 8, kHeight / 8};
  CreateImage(&eighth, small, small, kImageModeRgb8, nullptr, false, true, &code);
  bench::FillDarkProxy(&eighth);
  bench::FillLightSources(kSources, kWidth, kHeight, 4711, 2.0f, false);

  dialog::AnalysisQueries watch;
  watch.imageBounds[2] = kWidth;
  watch.imageBounds[3] = kHeight;
  watch.imageSource = &EighthSource;
  watch.imageSourceContext = &eighth;
  watch.analysis = &bench::BenchRun().analysis;
  for (auto _ : state) {
    ParameterSet parameters = kFactoryParameters;
    parameters.Quantity = 100;
    UiSettings settings = kDefaultUiSettings;
    auto dialog = std::make_unique<dialog::MainDialog>(&parameters, &settings, watch);
    dialog->show();
    auto* preview =
        dynamic_cast<dialog::PreviewDisplay*>(dialog->Control(dialog::kIdPreviewDisplay));
    QElapsedTimer limit;
    limit.start();
    while (preview != nullptr && !preview->hasFrame() && limit.elapsed() < 60000) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    if (preview == nullptr || !preview->hasFrame()) state.SkipWithError("no frame");
    dialog.reset();
  }
  FreeMasterLightSourceTable(&bench::BenchRun().analysis.master);
  bench::BenchRun().analysis.master.count = 0;
  ReleaseImage(&eighth);
  ReleaseImage(&InputImage());
}
BENCHMARK(BM_DialogToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace lumeray
