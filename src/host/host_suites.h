// The two host suites the module holds through a run (property and error suites, version 1),
// each acquired at most once and always released error suite first.
//
// Threading contract: UI thread only.
#pragma once

namespace lumeray {

void AcquireHostSuites();
void ReleaseHostSuites();

// Sets the host property 'wtch' of '8BIM' to 1 when the property suite is held.
void SetWatchSuspensionProperty();

}  // namespace lumeray
