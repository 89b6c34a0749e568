#include "color/color_management.h"

#include <lcms2.h>

#include "color/color_reports.h"
#include "color/display_profiles.h"
#include "color/lcms_errors.h"
#include "color/profile_blocks.h"
#include "color/profile_gamma.h"
#include "color/profile_sources.h"
#include "color/transform_cache.h"
#include "image/gamma_tables.h"
#include "image/image_modes.h"
#include "run/host_record.h"
#include "run/run_state.h"

namespace lumeray {
namespace {

int32_t HostImageMode() {
  const FilterRecord* record = Host().filterRecord;
  return record != nullptr ? record->imageMode : kImageModeRgb8;
}

void CloseProfile(ProfileHandle* profile) {
  if (*profile != nullptr) cmsCloseProfile(*profile);
  *profile = nullptr;
}

}  // namespace

bool InitializeColorManagement() {
  RunProfiles& profiles = CurrentRun().profiles;
  ReleaseColorManagement();  // a run that was never released leaves nothing behind
  bool succeeded = true;

  InstallLittleCmsErrorHandler();

  profiles.standard = cmsCreate_sRGBProfile();
  if (profiles.standard == nullptr) {
    ReportColorFailure(__LINE__, "Could not create the standard profile.");
    succeeded = false;
  }

  profiles.host = GetHostEditorProfile();
  if (profiles.host == nullptr) {
    if (IsHostGrayMode(HostImageMode())) {
      profiles.host = OpenLinearColorProfileResource();
      if (profiles.host == nullptr) {
        ReportColorFailure(__LINE__,
                           "Host editor profile not provided and failed to create a standard "
                           "grayscale profile.");
        succeeded = false;
      }
    } else {
      profiles.host = cmsCreate_sRGBProfile();
      if (profiles.host == nullptr) {
        ReportColorFailure(__LINE__,
                           "Host editor profile not provided and failed to create a standard "
                           "color profile.");
        succeeded = false;
      }
    }
  }

  profiles.working = DeriveProfileWithGamma(profiles.standard, kWorkingGamma);
  if (profiles.working == nullptr) {
    ReportColorFailure(__LINE__, "Could not create the working profile.");
    succeeded = false;
  }

  profiles.linearWorking = DeriveProfileWithGamma(profiles.working, kLinearGamma);
  if (profiles.linearWorking == nullptr) {
    ReportColorFailure(__LINE__, "Could not derive the linear working profile.");
    succeeded = false;
  }
  return succeeded;
}

void ReleaseColorManagement() {
  RunProfiles& profiles = CurrentRun().profiles;
  ReleaseTransformCache();
  ReleaseDisplayProfiles();
  CloseProfile(&profiles.linearWorking);
  CloseProfile(&profiles.working);
  CloseProfile(&profiles.host);
  CloseProfile(&profiles.standard);
  ReleaseProfileBlocks();
  ClearProfileGammaCache();
}

ProfileHandle StandardProfile() {
  return CurrentRun().profiles.standard;
}
ProfileHandle HostProfile() {
  return CurrentRun().profiles.host;
}
ProfileHandle WorkingProfile() {
  return CurrentRun().profiles.working;
}
ProfileHandle LinearWorkingProfile() {
  return CurrentRun().profiles.linearWorking;
}

}  // namespace lumeray
