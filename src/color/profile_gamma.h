// The estimated gamma of a profile: how the images in a profile encode light, used to pick the
// gamma tables of an image (image/gamma_tables.h).
//
// The estimate reads the grey curve ('kTRC') of a grey profile and the green curve ('gTRC') of
// any other, and asks Little CMS for the exponent that fits it within 0.1, or failing that
// within 1.0. A profile without such a curve, a curve that fits no exponent, and a null profile
// count as gamma 2.2.
//
// Estimates are kept in the ProfileGammaCache (kProfileGammaCacheSize entries, keyed by the
// profile handle, filled in order); once it is full, new estimates are returned but not kept.
// The cache is emptied when the run's profiles are closed (ReleaseColorManagement), since a
// later profile may be opened at the address of a closed one.
//
// The cache is module-wide (not part of run/run_state.h); it is emptied at each run's end.
//
// Threading contract: EstimateProfileGamma may be called from any thread (images are created
// on worker threads); the cache has its own lock.
#pragma once

#include "image/image_record.h"

namespace lumeray {

constexpr int kProfileGammaCacheSize = 64;
// The precisions asked of Little CMS's estimate, the finer first.
constexpr double kFineGammaPrecision = 0.1;
constexpr double kCoarseGammaPrecision = 1.0;

double EstimateProfileGamma(ProfileHandle profile);

void ClearProfileGammaCache();
int ProfileGammaCacheCount();

}  // namespace lumeray
