#include <gtest/gtest.h>

#include "core/fleet/OutboundQueue.h"

namespace wren::fleet {
namespace {

OutboundMessage Event(int n) { return {"e", std::to_string(n), false, 0}; }
OutboundMessage Record(const std::string& topic, const std::string& payload) {
  return {topic, payload, true, 0};
}

std::vector<std::string> Drain(OutboundQueue& q) {
  std::vector<std::string> out;
  while (auto m = q.Pop()) out.push_back(m->topic + "=" + m->payload);
  return out;
}

TEST(OutboundQueue, AFullQueueDropsTheOldestAndCountsIt) {
  OutboundQueue q(3);
  for (int i = 1; i <= 5; ++i) q.Push(Event(i));
  EXPECT_EQ(q.Size(), 3u);
  EXPECT_EQ(q.Dropped(), 2u);
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"e=3", "e=4", "e=5"}));
  EXPECT_FALSE(q.Pop());
}

TEST(OutboundQueue, ANewerRecordReplacesTheQueuedOneInPlace) {
  OutboundQueue q(10);
  q.Push(Record("d/A", "1"));
  q.Push(Event(1));
  q.Push(Record("d/B", "1"));
  q.Push(Record("d/A", "2"));
  EXPECT_EQ(q.Superseded(), 1u);
  EXPECT_EQ(q.Dropped(), 0u);
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"d/A=2", "e=1", "d/B=1"}));
  // Once sent, the topic queues anew.
  q.Push(Record("d/A", "3"));
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"d/A=3"}));
}

TEST(OutboundQueue, DroppingARecordForgetsItsTopic) {
  OutboundQueue q(2);
  q.Push(Record("d/A", "1"));
  q.Push(Event(1));
  q.Push(Event(2));  // d/A goes
  q.Push(Record("d/A", "2"));  // queued anew, e=1 goes
  EXPECT_EQ(q.Dropped(), 2u);
  EXPECT_EQ(q.Superseded(), 0u);
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"e=2", "d/A=2"}));
}

TEST(OutboundQueue, AMessageNotSentGoesBackToTheFront) {
  OutboundQueue q(3);
  q.Push(Event(1));
  q.Push(Event(2));
  auto first = q.Pop();
  ASSERT_TRUE(first);
  q.PushFront(*first);
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"e=1", "e=2"}));

  // A record whose newer state arrived meanwhile is not put back.
  q.Push(Record("d/A", "1"));
  auto old = q.Pop();
  q.Push(Record("d/A", "2"));
  q.PushFront(*old);
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"d/A=2"}));

  // Full of newer messages: the returned one is dropped and counted.
  q.Push(Event(1));
  auto oldest = q.Pop();
  for (int i = 2; i <= 4; ++i) q.Push(Event(i));
  const auto dropped = q.Dropped();
  q.PushFront(*oldest);
  EXPECT_EQ(q.Dropped(), dropped + 1);
  EXPECT_EQ(Drain(q), (std::vector<std::string>{"e=2", "e=3", "e=4"}));
}

}  // namespace
}  // namespace wren::fleet
