#pragma once
// The registrations of a stack's sinks and listeners, with the one rule
// every stack keeps: once a registration's handle has been destroyed the
// sink is not called again. Unregistering waits for a delivery in progress
// on another thread; a sink may unregister itself (or another sink) from
// inside its own call, which then does not wait.
//
// Deliveries are one at a time per registry, in the order they are asked
// for. A sink must not wait for a thread that may be destroying a handle of
// the same registry.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "ports/BluetoothStack.h"

namespace wren::platform {

// `Key` says which deliveries a sink hears (a radio, a kind of event); a
// registry that needs none leaves it an empty struct.
template <typename Sink, typename Key>
class SinkRegistry {
public:
  SinkRegistry() : m_core(std::make_shared<Core>()) {}
  SinkRegistry(const SinkRegistry&) = delete;
  SinkRegistry& operator=(const SinkRegistry&) = delete;

  // Registers `sink` until the handle is destroyed. The handle may outlive
  // the registry.
  std::unique_ptr<NotificationHandle> Add(Sink& sink, Key key) {
    std::lock_guard lock(m_core->registry);
    const std::uint64_t id = ++m_core->nextId;
    m_core->entries.push_back(Entry{id, &sink, std::move(key)});
    return std::make_unique<Handle>(m_core, id);
  }

  // Calls `call(sink, key)` for every sink whose key `match(key)` accepts,
  // in registration order. A sink unregistered meanwhile is skipped.
  template <typename Match, typename Call>
  void Deliver(Match match, Call call) {
    std::lock_guard delivery(m_core->delivery);
    std::vector<std::uint64_t> targets;
    {
      std::lock_guard lock(m_core->registry);
      for (const Entry& e : m_core->entries)
        if (match(std::as_const(e.key))) targets.push_back(e.id);
    }
    for (std::uint64_t id : targets) {
      Sink* sink = nullptr;
      Key key{};
      {
        std::lock_guard lock(m_core->registry);
        const Entry* e = m_core->Find(id);
        if (e == nullptr) continue;
        sink = e->sink;
        key = e->key;
      }
      call(*sink, key);
    }
  }

  // Calls `call(sink, key)` for the sink registered last; false when there
  // is none.
  template <typename Call>
  bool DeliverToLatest(Call call) {
    std::lock_guard delivery(m_core->delivery);
    Sink* sink = nullptr;
    Key key{};
    {
      std::lock_guard lock(m_core->registry);
      if (m_core->entries.empty()) return false;
      sink = m_core->entries.back().sink;
      key = m_core->entries.back().key;
    }
    call(*sink, key);
    return true;
  }

  // Lets `change(key)` rewrite the key of every registration.
  template <typename Change>
  void ChangeKeys(Change change) {
    std::lock_guard lock(m_core->registry);
    for (Entry& e : m_core->entries) change(e.key);
  }

  template <typename Match>
  std::size_t Count(Match match) const {
    std::lock_guard lock(m_core->registry);
    return static_cast<std::size_t>(std::count_if(m_core->entries.begin(), m_core->entries.end(),
                                                  [&](const Entry& e) { return match(e.key); }));
  }

private:
  struct Entry {
    std::uint64_t id = 0;
    Sink* sink = nullptr;
    Key key;
  };

  struct Core {
    std::mutex registry;            // the entries
    std::recursive_mutex delivery;  // held while deliveries run
    std::vector<Entry> entries;
    std::uint64_t nextId = 0;

    const Entry* Find(std::uint64_t id) const {
      for (const Entry& e : entries)
        if (e.id == id) return &e;
      return nullptr;
    }
  };

  class Handle final : public NotificationHandle {
  public:
    Handle(std::shared_ptr<Core> core, std::uint64_t id) : m_core(std::move(core)), m_id(id) {}
    ~Handle() override {
      {
        std::lock_guard lock(m_core->registry);
        auto& entries = m_core->entries;
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [this](const Entry& e) { return e.id == m_id; }),
                      entries.end());
      }
      // Waits for a delivery on another thread to end; on the delivering
      // thread itself the lock is already ours, and the loop skips the
      // entry from now on.
      std::lock_guard delivery(m_core->delivery);
    }

  private:
    std::shared_ptr<Core> m_core;
    std::uint64_t m_id;
  };

  std::shared_ptr<Core> m_core;
};

}  // namespace wren::platform
