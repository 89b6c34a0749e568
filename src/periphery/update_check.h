// The online update check: when the user turned it on, gave a feed address and the interval has
// passed, the version feed is read in the background (Qt's network access, on the UI thread's
// event loop: the dialog never waits for it). The feed is plain text whose first non-empty line
// is the newest version ("2.0.1.0"); when that is newer than this module, `newer` is called with
// it. A failed request, a malformed feed or no network end the check silently. The time of the
// check is stored when the feed was read.
//
// Threading contract: UI thread only; the callback runs there.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

#include "periphery/update_settings.h"

class QNetworkAccessManager;

namespace lumeray {

// Compares dotted versions numerically (missing parts count as 0): <0, 0, >0.
int CompareVersions(const std::string& a, const std::string& b);
// This module's version, "major.minor.patch.tweak".
std::string ModuleVersion();
// True when a check is due at `now` (seconds since 1970).
bool UpdateCheckDue(const UpdateCheckSettings& settings, uint64_t now);

class UpdateCheck : public QObject {
 public:
  using NewerVersion = std::function<void(const std::string& version)>;
  explicit UpdateCheck(QObject* parent = nullptr);
  ~UpdateCheck() override;

  // Starts a check when one is due; false when none was started.
  bool Start(NewerVersion newer);
  // The check ended (found something or not); for tests.
  bool finished() const { return finished_; }

 private:
  QNetworkAccessManager* network_;
  bool finished_ = false;
};

// Starts a check for the main dialog `parent`; a newer version is told in a message box.
void StartUpdateCheck(QObject* parent);

}  // namespace lumeray
