#include "core/fleet/CollectCommand.h"

#include "base/Text.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>

#include "core/fleet/FleetCollector.h"
#include "core/fleet/Topics.h"
#include "core/history/DeviceHistory.h"
#include "base/System.h"

namespace wren::fleet {
namespace {

constexpr const char* kPrefix = "wrenlocator: collect: ";

// A topic as it may be shown: bounded, one line.
std::string Shown(std::string_view topic) {
  std::string out(topic.substr(0, 120));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  if (topic.size() > 120) out += "...";
  return out;
}

}  // namespace

int RunCollector(const FleetConfig& config, platform::MqttClient& client,
                 const std::function<bool()>& stopRequested, std::ostream& out, std::ostream& err,
                 CollectTuning tuning) {
  std::mutex lock;  // the history, the collector and `err`, against the network thread
  DeviceHistory history;
  const HistoryFileCheck check = history.Load();
  if (!check.message.empty()) err << kPrefix << check.message << '\n';
  FleetCollector collector(history);
  bool gaveUp = false;

  platform::MqttConnectOptions options = config.connect;
  // One session per collector and data folder, kept by the broker across
  // outages so that records published meanwhile are not missed.
  options.clientId = "wrenlocator-collect-" + TopicSafeHost(platform::HostName()) + "-" +
                     std::to_string(std::hash<std::string>{}(platform::DataFolder()) % 1000000);
  options.cleanSession = false;

  platform::MqttHandlers handlers;
  handlers.onState = [&](platform::MqttState state, const std::string& reason) {
    std::lock_guard guard(lock);
    switch (state) {
      case platform::MqttState::Connected:
        err << kPrefix << "connected to " << config.url << ", collecting " << kDevicesPattern
            << '\n';
        if (!client.Subscribe(std::string(kDevicesPattern), 1))
          err << kPrefix << "the subscription could not be sent; retrying on reconnection\n";
        break;
      case platform::MqttState::Disconnected:
        err << kPrefix << reason << "; retrying\n";
        break;
      case platform::MqttState::Refused:
      case platform::MqttState::Failed:
        err << kPrefix << reason << '\n';
        gaveUp = true;
        break;
    }
    err.flush();
  };
  handlers.onMessage = [&](const std::string& topic, const std::string& payload) {
    std::lock_guard guard(lock);
    std::string reason;
    if (collector.Collect(topic, payload, reason) == CollectOutcome::Refused)
      err << kPrefix << "refused " << Shown(topic) << ": " << OneLine(reason) << '\n' << std::flush;
  };

  std::string error;
  if (!client.Start(options, std::move(handlers), error)) {
    err << kPrefix << error << '\n';
    return 1;
  }

  int status = 0;
  auto save = [&](bool always) {
    std::lock_guard guard(lock);
    if (!collector.TakeChanged() && !always) return;
    std::string why;
    if (!history.Save(&why)) {
      err << kPrefix << "history.xml not saved: " << why << '\n';
      status = 1;
    } else {
      status = 0;
    }
  };

  auto lastSave = std::chrono::steady_clock::now();
  for (;;) {
    if (stopRequested()) break;
    {
      std::lock_guard guard(lock);
      if (gaveUp) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(tuning.pollMs));
    const auto now = std::chrono::steady_clock::now();
    if (now - lastSave >= std::chrono::milliseconds(tuning.saveIntervalMs)) {
      save(false);
      lastSave = now;
    }
  }
  client.Stop();
  save(true);
  {
    std::lock_guard guard(lock);
    out << history.Size() << " devices in history.xml; " << collector.MergedCount()
        << " records merged, " << collector.RefusedCount() << " refused\n"
        << std::flush;
    if (gaveUp) status = 1;
  }
  return status;
}

}  // namespace wren::fleet
