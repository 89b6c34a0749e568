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

namespace lumeray {
namespace {

struct RunProfiles {
  ProfileHandle standard = nullptr;
  ProfileHandle host = nullptr;
  ProfileHandle working = nullptr;
  ProfileHandle linearWorking = nullptr;
};

RunProfiles runProfiles;

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
  ReleaseColorManagement();  // a run that was never released leaves nothing behind
  bool succeeded = true;

  InstallLittleCmsErrorHandler();

  runProfiles.standard = cmsCreate_sRGBProfile();
  if (runProfiles.standard == nullptr) {
    ReportColorFailure(__LINE__, "Could not create the standard profile.");
    succeeded = false;
  }

  runProfiles.host = GetHostEditorProfile();
  if (runProfiles.host == nullptr) {
    if (IsHostGrayMode(HostImageMode())) {
      runProfiles.host = OpenLinearColorProfileResource();
      if (runProfiles.host == nullptr) {
        ReportColorFailure(__LINE__,
                           "Host editor profile not provided and failed to create a standard "
                           "grayscale profile.");
        succeeded = false;
      }
    } else {
      runProfiles.host = cmsCreate_sRGBProfile();
      if (runProfiles.host == nullptr) {
        ReportColorFailure(__LINE__,
                           "Host editor profile not provided and failed to create a standard "
                           "color profile.");
        succeeded = false;
      }
    }
  }

  runProfiles.working = DeriveProfileWithGamma(runProfiles.standard, kWorkingGamma);
  if (runProfiles.working == nullptr) {
    ReportColorFailure(__LINE__, "Could not create the working profile.");
    succeeded = false;
  }

  runProfiles.linearWorking = DeriveProfileWithGamma(runProfiles.working, kLinearGamma);
  if (runProfiles.linearWorking == nullptr) {
    ReportColorFailure(__LINE__, "Could not derive the linear working profile.");
    succeeded = false;
  }
  return succeeded;
}

void ReleaseColorManagement() {
  ReleaseTransformCache();
  ReleaseDisplayProfiles();
  CloseProfile(&runProfiles.linearWorking);
  CloseProfile(&runProfiles.working);
  CloseProfile(&runProfiles.host);
  CloseProfile(&runProfiles.standard);
  ReleaseProfileBlocks();
  ClearProfileGammaCache();
}

ProfileHandle StandardProfile() {
  return runProfiles.standard;
}
ProfileHandle HostProfile() {
  return runProfiles.host;
}
ProfileHandle WorkingProfile() {
  return runProfiles.working;
}
ProfileHandle LinearWorkingProfile() {
  return runProfiles.linearWorking;
}

}  // namespace lumeray
