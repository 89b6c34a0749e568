// The run pipeline's steps for pixels and colour (declared in host/pipeline_steps.h): the fixed
// pixel tables, colour management set-up, the analysis image's conversion to linear working
// colours, and the release of the run's gamma tables.
#include "color/color_conversion.h"
#include "color/color_management.h"
#include "color/profile_gamma.h"
#include "effects/band_render.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "host/pipeline_steps.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "image/pixel_tables.h"
#include "preview/host_proxy_image.h"

namespace lumeray {

void BuildPixelConversionTables() {
  const int result = InitializeFixedTables();
  if (result != 0) SetRunResult(static_cast<int16_t>(result));
}

namespace {

bool ConvertBandToHost(ImageRecord* band, ProfileHandle host) {
  return ConvertColorOf(band, host);
}

}  // namespace

bool SetUpColorManagement() {
  // The preview pyramid of an earlier run shows another image in closed profiles.
  InvalidateHostProxyImage(ActiveFilterRun().preview.pyramid);
  SetProfileGammaEstimator(&EstimateProfileGamma);
  if (!InitializeColorManagement()) return false;
  // Band images of the final render are drawn in the working profile and composited in the
  // host's.
  EffectsRunState& effects = ActiveFilterRun().effects;
  effects.bandWorkingProfile = WorkingProfile();
  effects.bandToHostProfile = &ConvertBandToHost;
  return true;
}

void ReleaseBandColorManagement() {
  EffectsRunState& effects = ActiveFilterRun().effects;
  effects.bandWorkingProfile = nullptr;
  effects.bandToHostProfile = nullptr;
}

void ReleaseGammaTableCache() {
  // The pyramid's levels use the tables released here.
  InvalidateHostProxyImage(ActiveFilterRun().preview.pyramid);
  ReleaseGammaTables();
}

}  // namespace lumeray
