#include "core/fleet/OutboundQueue.h"

#include <utility>

namespace wren::fleet {

OutboundQueue::OutboundQueue(std::size_t capacity) : m_capacity(capacity ? capacity : 1) {}

void OutboundQueue::Forget(List::iterator it) {
  if (it->retain) {
    auto found = m_retained.find(it->topic);
    if (found != m_retained.end() && found->second == it) m_retained.erase(found);
  }
  m_messages.erase(it);
}

void OutboundQueue::DropOldestIfFull() {
  while (m_messages.size() >= m_capacity) {
    Forget(m_messages.begin());
    ++m_dropped;
  }
}

void OutboundQueue::Push(OutboundMessage message) {
  if (message.retain) {
    auto found = m_retained.find(message.topic);
    if (found != m_retained.end()) {
      *found->second = std::move(message);
      ++m_superseded;
      return;
    }
  }
  DropOldestIfFull();
  m_messages.push_back(std::move(message));
  if (m_messages.back().retain) m_retained[m_messages.back().topic] = std::prev(m_messages.end());
}

std::optional<OutboundMessage> OutboundQueue::Pop() {
  if (m_messages.empty()) return std::nullopt;
  OutboundMessage front = std::move(m_messages.front());
  if (front.retain) {
    auto found = m_retained.find(front.topic);
    if (found != m_retained.end() && found->second == m_messages.begin()) m_retained.erase(found);
  }
  m_messages.pop_front();
  return front;
}

void OutboundQueue::PushFront(OutboundMessage message) {
  if (message.retain && m_retained.count(message.topic)) {
    // A newer state of the same topic arrived meanwhile: it wins.
    ++m_superseded;
    return;
  }
  if (m_messages.size() >= m_capacity) {
    // Full of newer messages: this, the oldest, is the one that goes.
    ++m_dropped;
    return;
  }
  m_messages.push_front(std::move(message));
  if (m_messages.front().retain) m_retained[m_messages.front().topic] = m_messages.begin();
}

}  // namespace wren::fleet
