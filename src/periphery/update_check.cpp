#include "periphery/update_check.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <ctime>
#include <sstream>
#include <vector>

#include "platform/window.h"

namespace lumeray {
namespace {

constexpr qint64 kFeedLimit = 64 * 1024;  // a feed is a few lines
constexpr int kTimeoutMilliseconds = 15000;

std::vector<uint64_t> Parts(const std::string& version) {
  std::vector<uint64_t> parts;
  std::stringstream stream(version);
  std::string part;
  while (std::getline(stream, part, '.')) parts.push_back(std::strtoull(part.c_str(), nullptr, 10));
  return parts;
}

bool LooksLikeVersion(const std::string& text) {
  if (text.empty() || text.size() > 32 || text.front() == '.' || text.back() == '.') return false;
  for (char c : text) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  return true;
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b) {
  const std::vector<uint64_t> x = Parts(a);
  const std::vector<uint64_t> y = Parts(b);
  for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    const uint64_t p = i < x.size() ? x[i] : 0;
    const uint64_t q = i < y.size() ? y[i] : 0;
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

std::string ModuleVersion() {
  return std::to_string(LUMERAY_VERSION_MAJOR) + "." + std::to_string(LUMERAY_VERSION_MINOR) + "." +
         std::to_string(LUMERAY_VERSION_PATCH) + "." + std::to_string(LUMERAY_VERSION_TWEAK);
}

bool UpdateCheckDue(const UpdateCheckSettings& settings, uint64_t now) {
  if (!settings.enabled || settings.feedAddress.empty()) return false;
  const uint64_t interval = static_cast<uint64_t>(settings.intervalDays) * 86400;
  return settings.lastCheckTime > now || now - settings.lastCheckTime >= interval;
}

UpdateCheck::UpdateCheck(QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)) {}

UpdateCheck::~UpdateCheck() = default;

bool UpdateCheck::Start(NewerVersion newer) {
  const UpdateCheckSettings settings = ReadUpdateCheckSettings();
  const auto now = static_cast<uint64_t>(std::time(nullptr));
  const QUrl url(QString::fromStdString(settings.feedAddress));
  if (!UpdateCheckDue(settings, now) || !url.isValid()) {
    finished_ = true;
    return false;
  }
  QNetworkRequest request(url);
  request.setTransferTimeout(kTimeoutMilliseconds);
  QNetworkReply* reply = network_->get(request);
  connect(reply, &QNetworkReply::finished, this, [this, reply, newer = std::move(newer)] {
    reply->deleteLater();
    finished_ = true;
    if (reply->error() != QNetworkReply::NoError) return;  // no network: silent
    const QByteArray body = reply->read(kFeedLimit);
    std::string version;
    for (const QByteArray& line : body.split('\n')) {
      if (!line.trimmed().isEmpty()) {
        version = line.trimmed().toStdString();
        break;
      }
    }
    UpdateCheckSettings stored = ReadUpdateCheckSettings();
    stored.lastCheckTime = static_cast<uint64_t>(std::time(nullptr));
    WriteUpdateCheckSettings(stored);
    if (LooksLikeVersion(version) && CompareVersions(version, ModuleVersion()) > 0 && newer) {
      newer(version);
    }
  });
  return true;
}

void StartUpdateCheck(QObject* parent) {
  auto* check = new UpdateCheck(parent);  // lives as long as the dialog
  check->Start([](const std::string& version) {
    platform::ShowMessageBox(
        0,
        "Version " + version + " of Lumeray Pro 2 is available (this is " + ModuleVersion() + ").",
        "Lumeray Pro 2 Update", platform::kMbIconInformation);
  });
}

}  // namespace lumeray
