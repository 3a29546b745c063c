#pragma once
// Who hears the BlueZ stack: the radios' and the device tree's sinks, the
// device listeners and the user's pairing agents, and the delivery of what
// a change of the tree meant. No Qt here.

#include <string>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "ports/SinkRegistry.h"
#include "adapters/bluez/DeviceCache.h"

namespace wren::bluez {

class StackEvents {
public:
  struct SinkKey {
    bool tree = false;        // device-tree changes, not a radio's events
    std::string adapterPath;  // the radio heard
  };
  struct NoKey {};

  std::unique_ptr<platform::NotificationHandle> AddRadioSink(const std::string& adapterPath,
                                                             platform::DeviceChangeSink& sink) {
    return m_sinks.Add(sink, SinkKey{false, adapterPath});
  }
  std::unique_ptr<platform::NotificationHandle> AddTreeSink(platform::DeviceChangeSink& sink) {
    return m_sinks.Add(sink, SinkKey{true, {}});
  }
  std::unique_ptr<platform::NotificationHandle> AddListener(platform::DeviceListener& listener) {
    return m_listeners.Add(listener, NoKey{});
  }
  std::unique_ptr<platform::NotificationHandle> AddAgent(platform::PairingAgent& agent) {
    return m_agents.Add(agent, NoKey{});
  }

  bool HasListeners() const {
    return m_listeners.Count([](const NoKey&) { return true; }) > 0;
  }
  bool HasAgent() const {
    return m_agents.Count([](const NoKey&) { return true; }) > 0;
  }

  // Asks the agent registered last; false when there is none.
  template <typename Ask>
  bool AskAgent(Ask ask) {
    return m_agents.DeliverToLatest(
        [&](platform::PairingAgent& agent, const NoKey&) { ask(agent); });
  }

  // A radio's event; with `everyRadio` each radio's sinks hear it.
  void DeliverRadio(const std::string& adapterPath, const platform::DeviceChange& change,
                    bool everyRadio) {
    m_sinks.Deliver(
        [&](const SinkKey& k) { return !k.tree && (everyRadio || k.adapterPath == adapterPath); },
        [&](platform::DeviceChangeSink& sink, const SinkKey&) { sink.OnDeviceChange(change); });
  }

  void Deliver(const AppliedChange& applied) {
    const TreeChanges& changes = applied.changes;
    if (changes.deviceTreeChanged) {
      platform::DeviceChange tree;
      tree.eventType = platform::kDeviceNodesChanged;
      m_sinks.Deliver(
          [](const SinkKey& k) { return k.tree; },
          [&](platform::DeviceChangeSink& sink, const SinkKey&) { sink.OnDeviceChange(tree); });
    }
    for (const auto& event : changes.radioEvents)
      DeliverRadio(event.adapterPath, event.change, false);
    if (applied.updated.empty() && changes.removed.empty()) return;
    // One delivery per call, so a listener that leaves is not called again.
    const auto all = [](const NoKey&) { return true; };
    for (const auto& [device, sighted] : applied.updated)
      m_listeners.Deliver(all, [&](platform::DeviceListener& l, const NoKey&) {
        l.OnDeviceChanged(device, sighted);
      });
    for (platform::BluetoothAddress a : changes.removed)
      m_listeners.Deliver(all,
                          [&](platform::DeviceListener& l, const NoKey&) { l.OnDeviceRemoved(a); });
  }

private:
  platform::SinkRegistry<platform::DeviceChangeSink, SinkKey> m_sinks;
  platform::SinkRegistry<platform::DeviceListener, NoKey> m_listeners;
  platform::SinkRegistry<platform::PairingAgent, NoKey> m_agents;
};

}  // namespace wren::bluez
