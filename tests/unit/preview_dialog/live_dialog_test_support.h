// A main dialog with its live preview on the render tests' scene, for the tests of the preview
// inside the dialog (offscreen, and on an X display).
#pragma once

#include "dialog/dialog_template.h"
#include "dialog/preview_display.h"
#include "preview/preview_task.h"
#include "unit/dialog/dialog_test_support.h"
#include "unit/preview/preview_test_support.h"

namespace lumeray::testing {

class LiveDialogTest : public PreviewTest {
 protected:
  void TearDown() override {
    dialog.reset();
    ResetUserDataFolders();
    PreviewTest::TearDown();
  }

  // Shows the dialog on a black width x height scene lit by `sources`, the analysis done.
  void OpenDialog(int32_t width, int32_t height, const std::vector<LightSourceEntry>& sources,
                  const PixelFormatRules& rules) {
    TestApplication();
    ForgetHost();
    ResetUserDataFolders();
    ASSERT_TRUE(InitializeUserDataFolders());
    MakeScene(width, height);
    SetSources(sources);
    dialog::AnalysisQueries watch;
    watch.progress = [](int32_t* done, int32_t* total) { return *done = *total = 1, true; };
    watch.complete = [] { return true; };
    watch.imageBounds[2] = width;
    watch.imageBounds[3] = height;
    watch.imageSource = &PyramidSource;
    watch.imageSourceContext = &pyramid_;
    watch.analysis = &Analysis();
    watch.previewRules = rules;
    dialog = std::make_unique<dialog::MainDialog>(&parameters, &settings, watch);
    dialog->show();
    preview = dynamic_cast<dialog::PreviewDisplay*>(dialog->Control(dialog::kIdPreviewDisplay));
    ASSERT_NE(preview, nullptr);
  }

  // Whether the task drew the last snapshot handed to it within the time.
  bool LastRequestDrawn() {
    return QTest::qWaitFor(
        [&] {
          return preview->lastRequested() != 0 &&
                 preview->task()->LastDrawnSequence() == preview->lastRequested();
        },
        30000);
  }

  TempHome home;
  ParameterSet parameters = kFactoryParameters;
  UiSettings settings = kDefaultUiSettings;
  std::unique_ptr<dialog::MainDialog> dialog;
  dialog::PreviewDisplay* preview = nullptr;
};

}  // namespace lumeray::testing
