#include "ports/SinkRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace wren::platform {
namespace {

struct Sink {
  std::string name;
  std::vector<int> heard;
  std::function<void(int)> onCall;
};

struct Key {
  int channel = 0;
};

using Registry = SinkRegistry<Sink, Key>;

void Send(Registry& r, int channel, int value) {
  r.Deliver([channel](const Key& k) { return k.channel == channel; },
            [value](Sink& s, const Key&) {
              s.heard.push_back(value);
              if (s.onCall) s.onCall(value);
            });
}

TEST(SinkRegistry, DeliversToMatchingSinksInRegistrationOrder) {
  Registry r;
  std::vector<std::string> order;
  Sink a{"a", {}, [&](int) { order.push_back("a"); }};
  Sink b{"b", {}, [&](int) { order.push_back("b"); }};
  Sink c{"c", {}, [&](int) { order.push_back("c"); }};
  auto hb = r.Add(b, {1});
  auto ha = r.Add(a, {1});
  auto hc = r.Add(c, {2});
  Send(r, 1, 10);
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a"}));
  EXPECT_TRUE(c.heard.empty());
  EXPECT_EQ(r.Count([](const Key& k) { return k.channel == 1; }), 2u);

  r.ChangeKeys([](Key& k) { k.channel = k.channel == 2 ? 1 : 3; });
  Send(r, 1, 11);
  EXPECT_EQ(c.heard, std::vector<int>{11});
  EXPECT_EQ(a.heard, std::vector<int>{10});

  ha.reset();
  hb.reset();
  hc.reset();
  Send(r, 1, 12);
  Send(r, 3, 12);
  EXPECT_EQ(r.Count([](const Key&) { return true; }), 0u);
  EXPECT_EQ(c.heard, std::vector<int>{11});
}

TEST(SinkRegistry, ASinkMayUnregisterItselfOrAnotherFromInsideItsCall) {
  Registry r;
  Sink self{"self", {}, nullptr};
  Sink victim{"victim", {}, nullptr};
  Sink last{"last", {}, nullptr};
  std::unique_ptr<NotificationHandle> selfHandle = r.Add(self, {});
  std::unique_ptr<NotificationHandle> victimHandle = r.Add(victim, {});
  auto lastHandle = r.Add(last, {});
  self.onCall = [&](int) {
    selfHandle.reset();    // itself, while being called
    victimHandle.reset();  // and one not called yet in this delivery
  };
  Send(r, 0, 1);
  Send(r, 0, 2);
  EXPECT_EQ(self.heard, std::vector<int>{1});
  EXPECT_TRUE(victim.heard.empty());
  EXPECT_EQ(last.heard, (std::vector<int>{1, 2}));
}

TEST(SinkRegistry, UnregisteringWaitsForADeliveryOnAnotherThread) {
  Registry r;
  std::atomic<bool> inside{false};
  std::atomic<bool> finished{false};
  Sink slow{"slow", {}, [&](int) {
              inside = true;
              std::this_thread::sleep_for(std::chrono::milliseconds(150));
              finished = true;
            }};
  auto handle = r.Add(slow, {});
  std::thread deliverer([&] { Send(r, 0, 1); });
  while (!inside) std::this_thread::yield();
  handle.reset();
  // Returned only once the call in progress was over.
  EXPECT_TRUE(finished.load());
  deliverer.join();
  Send(r, 0, 2);
  EXPECT_EQ(slow.heard, std::vector<int>{1});
}

TEST(SinkRegistry, LatestRegistrationAnswersAndAHandleMayOutliveTheRegistry) {
  std::unique_ptr<NotificationHandle> survivor;
  Sink first{"first", {}, nullptr};
  Sink second{"second", {}, nullptr};
  {
    Registry r;
    auto ask = [&r](int v) {
      return r.DeliverToLatest([v](Sink& s, const Key&) { s.heard.push_back(v); });
    };
    EXPECT_FALSE(ask(0)) << "nobody registered";
    survivor = r.Add(first, {});
    auto h2 = r.Add(second, {});
    EXPECT_TRUE(ask(1));
    h2.reset();
    EXPECT_TRUE(ask(2));
  }
  survivor.reset();  // after the registry is gone
  EXPECT_EQ(first.heard, std::vector<int>{2});
  EXPECT_EQ(second.heard, std::vector<int>{1});
}

}  // namespace
}  // namespace wren::platform
