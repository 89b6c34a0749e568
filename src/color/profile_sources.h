// Where the run-wide profiles come from: the host's own profile (copied into a ProfileBlock),
// the grayscale resource profile, and profiles derived from another one with new tone curves.
// Each maker returns an open Little CMS profile that the caller closes, or null after
// reporting (color_reports.h).
//
// Threading contract: UI thread only (colour management set-up).
#pragma once

#include <lcms2.h>

#include "image/image_record.h"

namespace lumeray {

// A pure power curve of exponent `gamma`; the caller frees it (cmsFreeToneCurve).
cmsToneCurve* NewToneCurve(double gamma);

// A copy of `profile` (saved into a new ProfileBlock and opened from there) whose colour tone
// curves ('rTRC', 'gTRC', 'bTRC', or 'kTRC' for grey) are power curves of exponent `gamma`. A
// curve that cannot be written is reported and the others are still written.
ProfileHandle DeriveProfileWithGamma(ProfileHandle profile, double gamma);

// The profile the host hands over with the filter record (iCCprofileData, iCCprofileSize),
// copied into a ProfileBlock and opened from the copy; null, silently, when the host gives
// none. The handle is locked through the host's handle procedures and unlocked again before
// returning. A profile is refused (reported, null) when its stated size is not positive or
// exceeds its handle, when Little CMS cannot open it, or when its colour space is neither grey
// nor RGB or no transform can be made from and to it.
ProfileHandle GetHostEditorProfile();

// The grayscale resource profile (grey_profile_resource.h), opened from the module's resource.
ProfileHandle OpenLinearColorProfileResource();

// Whether images can be converted from and to `profile`: its colour space is grey or RGB and
// Little CMS can make transforms in both directions from its tags. Profiles that come from
// outside (the host's, a monitor's) are refused when they are not.
bool IsUsableImageProfile(ProfileHandle profile);

}  // namespace lumeray
