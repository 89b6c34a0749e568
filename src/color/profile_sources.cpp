#include "color/profile_sources.h"

#include <cerrno>
#include <cstring>

#include "color/color_reports.h"
#include "color/grey_profile_resource.h"
#include "color/profile_blocks.h"
#include "color/transform_cache.h"
#include "run/host_record.h"

namespace lumeray {
namespace {

constexpr const char* kHostProfileOpenFailure =
    "Could not open host editor-provided image color profile.";

// Copies the locked profile bytes into a new ProfileBlock and opens the copy.
ProfileHandle OpenHostProfileCopy(const FilterRecord& record, const char* bytes) {
  const int32_t statedSize = record.iCCprofileSize;
  const HandleProcs* procs = record.handleProcs;
  const int32_t handleSize =
      procs->getSizeProc != nullptr ? procs->getSizeProc(record.iCCprofileData) : statedSize;
  if (statedSize <= 0 || statedSize > handleSize) {
    ReportColorSystemFailure(__LINE__, kHostProfileOpenFailure, EINVAL);
    return nullptr;
  }

  BufferDescriptor* block = nullptr;
  switch (NextProfileBlock(static_cast<uint64_t>(statedSize), &block)) {
    case ProfileBlockResult::kTableFull:
      ReportColorFailure(__LINE__,
                         "Could not allocate a cache block to store the host editor-provided "
                         "image color profile.");
      return nullptr;
    case ProfileBlockResult::kNoMemory:
      ReportColorFailure(
          __LINE__,
          "Could not allocate memory to store the host editor-provided image color profile.");
      return nullptr;
    case ProfileBlockResult::kReady:
      break;
  }
  std::memcpy(block->data, bytes, static_cast<size_t>(statedSize));

  errno = 0;
  cmsHPROFILE profile =
      cmsOpenProfileFromMem(block->data, static_cast<cmsUInt32Number>(statedSize));
  if (profile == nullptr) {
    ReportColorSystemFailure(__LINE__, kHostProfileOpenFailure, errno);
    return nullptr;
  }
  if (!IsUsableImageProfile(profile)) {
    cmsCloseProfile(profile);
    ReportColorSystemFailure(__LINE__, kHostProfileOpenFailure, EINVAL);
    return nullptr;
  }
  CountProfileBlock();
  return profile;
}

}  // namespace

bool IsUsableImageProfile(ProfileHandle profile) {
  if (profile == nullptr) return false;
  cmsUInt32Number format = 0;
  switch (cmsGetColorSpace(profile)) {
    case cmsSigGrayData:
      format = TYPE_GRAY_16;
      break;
    case cmsSigRgbData:
      format = TYPE_RGB_16;
      break;
    default:
      return false;
  }
  cmsHPROFILE xyz = cmsCreateXYZProfile();
  if (xyz == nullptr) return false;
  constexpr cmsUInt32Number kTrialFlags = kTransformFlags | cmsFLAGS_NOOPTIMIZE;
  bool usable = true;
  for (const bool toXyz : {true, false}) {
    cmsHTRANSFORM transform =
        toXyz
            ? cmsCreateTransform(profile, format, xyz, TYPE_XYZ_16, kTransformIntent, kTrialFlags)
            : cmsCreateTransform(xyz, TYPE_XYZ_16, profile, format, kTransformIntent, kTrialFlags);
    if (transform == nullptr) {
      usable = false;
      break;
    }
    cmsDeleteTransform(transform);
  }
  cmsCloseProfile(xyz);
  return usable;
}

cmsToneCurve* NewToneCurve(double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  if (curve == nullptr) {
    ReportColorConversionFailure(__LINE__, "NewToneCurve() - Could not create new tone curve.");
  }
  return curve;
}

ProfileHandle DeriveProfileWithGamma(ProfileHandle profile, double gamma) {
  if (ProfileBlocksInUse() >= kProfileBlockLimit) {
    ReportColorFailure(__LINE__, "Ran out of room in the ProfileBlock table.");
    return nullptr;
  }
  cmsUInt32Number size = 0;
  if (profile == nullptr || !cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) {
    ReportColorFailure(
        __LINE__,
        "Could not retrieve required input profile memory size from cmsSaveProfileToMem().");
    return nullptr;
  }

  BufferDescriptor* block = nullptr;
  if (NextProfileBlock(size, &block) != ProfileBlockResult::kReady) return nullptr;
  if (!cmsSaveProfileToMem(profile, block->data, &size)) {
    ReportColorFailure(__LINE__, "Could not save profile to memory via cmsSaveProfileToMem().");
    return nullptr;
  }
  cmsHPROFILE copy = cmsOpenProfileFromMem(block->data, size);
  if (copy == nullptr) return nullptr;

  // A failed write leaves the copy's old curve in place; writing a null curve would delete it.
  const auto writeCurve = [copy, gamma](cmsTagSignature tag, const char* failure) {
    cmsToneCurve* curve = NewToneCurve(gamma);
    const bool written = curve != nullptr && cmsWriteTag(copy, tag, curve);
    if (curve != nullptr) cmsFreeToneCurve(curve);
    if (!written) ReportColorFailure(__LINE__, failure);
  };
  if (cmsGetColorSpace(copy) != cmsSigGrayData) {
    writeCurve(cmsSigRedTRCTag, "Could not write new red tone curve.");
    writeCurve(cmsSigGreenTRCTag, "Could not write new green tone curve.");
    writeCurve(cmsSigBlueTRCTag, "Could not write new blue tone curve.");
  } else {
    writeCurve(cmsSigGrayTRCTag, "Could not write new grayscale tone curve.");
  }

  CountProfileBlock();
  return copy;
}

ProfileHandle GetHostEditorProfile() {
  const FilterRecord* record = Host().filterRecord;
  if (record == nullptr || record->iCCprofileData == nullptr) return nullptr;

  const HandleProcs* procs = record->handleProcs;
  const char* bytes = procs != nullptr && procs->lockProc != nullptr
                          ? procs->lockProc(record->iCCprofileData, false)
                          : nullptr;
  if (bytes == nullptr) {
    ReportColorFailure(__LINE__, "Could not acquire host editor-provided image color profile.");
    return nullptr;
  }
  ProfileHandle profile = OpenHostProfileCopy(*record, bytes);
  if (procs->unlockProc != nullptr) procs->unlockProc(record->iCCprofileData);
  return profile;
}

ProfileHandle OpenLinearColorProfileResource() {
  // The bytes of the module's RCDATA resource (the section the host can read from the file).
  const std::span<const uint8_t> resource = LinearColorProfileResourceBytes();
  if (resource.empty()) {
    ReportColorSystemFailure(__LINE__, "Could not find the IDR_LINEAR_COLOR_PROFILE resource.",
                             ENOENT);
    return nullptr;
  }
  errno = 0;
  cmsHPROFILE profile =
      cmsOpenProfileFromMem(resource.data(), static_cast<cmsUInt32Number>(resource.size()));
  if (profile == nullptr) {
    ReportColorSystemFailure(__LINE__, "Could not open the IDR_LINEAR_COLOR_PROFILE.", errno);
  }
  return profile;
}

}  // namespace lumeray
