// Colour management of a run: the four profiles of the run in progress (run/run_state.h) and
// their life cycle.
//
//   StandardProfile       Little CMS's built-in sRGB
//   HostProfile           the host's profile; without one (or when it is unusable) the
//                         grayscale resource profile for grey image modes, else another sRGB
//   WorkingProfile        StandardProfile with power 2.2 tone curves (the final render's space)
//   LinearWorkingProfile  WorkingProfile with power 1.0 tone curves (analysis and effects)
//
// InitializeColorManagement runs at the beginning of each Start step, before any image is made;
// it tries every step even after one failed and returns false when a profile could not be made
// (the run then ends with its parameter error). ReleaseColorManagement runs at the end of the
// Start step: it deletes the cached transforms, closes the display profiles and the four
// profiles, frees the ProfileBlocks and forgets the profiles' gamma estimates. Releasing what
// was never set up does nothing; initialising again first releases what is still set up.
//
// Threading contract: Initialize and Release on the UI thread, while no other thread converts
// colours. The accessors are the UI thread's (they read the run in progress, run_state.h); a
// thread of the run is handed the profiles it needs (RunState::profiles) by whoever starts it.
#pragma once

#include "image/image_record.h"

namespace lumeray {

bool InitializeColorManagement();
void ReleaseColorManagement();

ProfileHandle StandardProfile();
ProfileHandle HostProfile();
ProfileHandle WorkingProfile();
ProfileHandle LinearWorkingProfile();

constexpr double kLinearGamma = 1.0;

}  // namespace lumeray
