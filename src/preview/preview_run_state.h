// The preview layer's part of one run (run/run_state.h holds the lower layers' part): the proxy
// pyramid, the host image at kHostProxyLevels scales (host_proxy_image.h).
//
// Owned by the run (the host's FilterRun), which hands the pyramid to whoever reads it.
//
// Threading contract: through host_proxy_image.h only. The levels are built on the thread
// that renders the proxy while no other thread reads them; `rendered` is any thread (release
// on store, acquire on load); the current snapshot is any thread under snapshotLock; `run` (the
// same run's lowest-layer part: its input image and status) is set by the run's owner before
// any thread starts.
#pragma once

#include <array>
#include <atomic>
#include <mutex>

#include "effects/parameter_set_buffer.h"
#include "image/image_record.h"
#include "preview/host_proxy_image.h"
#include "run/run_state.h"

namespace lumeray {

struct HostProxyLevel {
  ImageRecord image;
  ProxyScale scale{1.0, 1.0};
};

struct HostProxyPyramid {
  std::array<HostProxyLevel, kHostProxyLevels> levels{};
  std::atomic<bool> rendered{false};
  std::mutex snapshotLock;
  ParameterSetBuffer currentSnapshot{};
  RunState* run = nullptr;  // the run whose InputImage it reduces
};

struct PreviewRunState {
  HostProxyPyramid pyramid;
};

}  // namespace lumeray
