#include "color/lcms_errors.h"

#include "color/color_reports.h"

namespace lumeray {

void LittleCmsErrorHandler(cmsContext, cmsUInt32Number code, const char* text) {
  ReportColorConversionFailure(__LINE__, "Little CMS returned error code %d: '%s'",
                               static_cast<int>(code), text != nullptr ? text : "");
}

void InstallLittleCmsErrorHandler() {
  cmsSetLogErrorHandler(&LittleCmsErrorHandler);
}

}  // namespace lumeray
