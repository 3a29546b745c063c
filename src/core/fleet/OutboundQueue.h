#pragma once
// The messages waiting for the broker, bounded. A retained message stands
// for its topic's latest state, so a newer one replaces a queued one of the
// same topic in place (superseded, not lost). When the queue is full the
// oldest message goes and is counted as dropped.
//
// Not thread-safe: the publisher guards it.

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

namespace wren::fleet {

struct OutboundMessage {
  std::string topic;
  std::string payload;
  bool retain = false;
  std::int64_t enqueuedUs = 0;  // steady clock, for the latency figures
};

class OutboundQueue {
public:
  explicit OutboundQueue(std::size_t capacity);

  void Push(OutboundMessage message);
  // The oldest message, or none.
  std::optional<OutboundMessage> Pop();
  // A message taken by Pop that could not be sent goes back to the front.
  void PushFront(OutboundMessage message);

  std::size_t Size() const { return m_messages.size(); }
  bool Empty() const { return m_messages.empty(); }
  std::size_t Capacity() const { return m_capacity; }
  std::uint64_t Dropped() const { return m_dropped; }
  std::uint64_t Superseded() const { return m_superseded; }

private:
  using List = std::list<OutboundMessage>;
  void Forget(List::iterator it);
  void DropOldestIfFull();

  std::size_t m_capacity;
  List m_messages;
  std::unordered_map<std::string, List::iterator> m_retained;  // by topic
  std::uint64_t m_dropped = 0;
  std::uint64_t m_superseded = 0;
};

}  // namespace wren::fleet
