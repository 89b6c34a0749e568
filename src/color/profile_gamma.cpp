#include "color/profile_gamma.h"

#include <lcms2.h>

#include <array>
#include <mutex>

#include "image/gamma_tables.h"

namespace lumeray {
namespace {

// Little CMS's answer when no exponent fits the curve within the precision.
constexpr double kNoEstimate = -1.0;

struct ProfileGammaEntry {
  ProfileHandle profile;
  double gamma;
};

struct ProfileGammaCache {
  std::mutex lock;
  std::array<ProfileGammaEntry, kProfileGammaCacheSize> entries{};
  int count = 0;
};

ProfileGammaCache profileGammaCache;

double EstimateCurveGamma(ProfileHandle profile) {
  const cmsTagSignature tag =
      cmsGetColorSpace(profile) == cmsSigGrayData ? cmsSigGrayTRCTag : cmsSigGreenTRCTag;
  const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
  if (curve == nullptr) return kWorkingGamma;
  double gamma = cmsEstimateGamma(curve, kFineGammaPrecision);
  if (gamma == kNoEstimate) gamma = cmsEstimateGamma(curve, kCoarseGammaPrecision);
  if (gamma == kNoEstimate) gamma = kWorkingGamma;
  return gamma;
}

}  // namespace

double EstimateProfileGamma(ProfileHandle profile) {
  if (profile == nullptr) return kWorkingGamma;
  std::lock_guard lock(profileGammaCache.lock);
  for (int i = 0; i < profileGammaCache.count; ++i) {
    if (profileGammaCache.entries[static_cast<size_t>(i)].profile == profile) {
      return profileGammaCache.entries[static_cast<size_t>(i)].gamma;
    }
  }
  const double gamma = EstimateCurveGamma(profile);
  if (profileGammaCache.count < kProfileGammaCacheSize) {
    profileGammaCache.entries[static_cast<size_t>(profileGammaCache.count++)] = {profile, gamma};
  }
  return gamma;
}

void ClearProfileGammaCache() {
  std::lock_guard lock(profileGammaCache.lock);
  profileGammaCache.entries = {};
  profileGammaCache.count = 0;
}

int ProfileGammaCacheCount() {
  std::lock_guard lock(profileGammaCache.lock);
  return profileGammaCache.count;
}

}  // namespace lumeray
