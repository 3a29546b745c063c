// The main loop's Qt adapters: tasks posted from other threads run on the
// user-interface thread in order; timers tick, may be killed from their
// own tick, and are replaced by event id.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "adapters/qt/QtDispatcher.h"
#include "adapters/qt/QtTimer.h"

namespace wren::platform {
namespace {

// Runs the event loop until `done` or a few seconds have passed.
template <typename Done>
bool Spin(Done done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(QtDispatcherTest, TasksFromOtherThreadsRunOnTheMainThreadInOrder) {
  QtDispatcher dispatcher;
  const auto mainThread = std::this_thread::get_id();
  std::vector<int> ran;
  std::atomic<int> wrongThread{0};
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i)
      dispatcher.Post([&, i] {
        if (std::this_thread::get_id() != mainThread) ++wrongThread;
        ran.push_back(i);
      });
  });
  poster.join();
  EXPECT_TRUE(ran.empty());  // nothing runs inside Post
  EXPECT_EQ(dispatcher.Pending(), 100u);
  ASSERT_TRUE(Spin([&] { return ran.size() == 100; }));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(wrongThread.load(), 0);
  EXPECT_EQ(dispatcher.Pending(), 0u);
}

TEST(QtDispatcherTest, TasksStillQueuedWhenItGoesAreDropped) {
  bool ran = false;
  {
    QtDispatcher dispatcher;
    dispatcher.Post([&] { ran = true; });
  }
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(ran);
}

TEST(QtTimerTest, TicksUntilKilledFromItsOwnTick) {
  QtTimer timer;
  int ticks = 0;
  Timer::Id id = 0;
  id = timer.Create(1, 20, [&](Timer::Id tick) {
    EXPECT_EQ(tick, id);
    if (++ticks == 3) {
      EXPECT_TRUE(timer.Kill(tick));
    }
  });
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(Spin([&] { return ticks >= 3; }));
  Spin([] { return false; }, 150);  // no tick after the kill
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(timer.Kill(id));
}

TEST(QtTimerTest, SameEventIdReplacesAndBadPeriodIsRefused) {
  QtTimer timer;
  int first = 0, second = 0;
  Timer::Id a = timer.Create(1, 20, [&](Timer::Id) { ++first; });
  Timer::Id b = timer.Create(1, 20, [&](Timer::Id) { ++second; });
  EXPECT_NE(a, b);
  ASSERT_TRUE(Spin([&] { return second >= 2; }));
  EXPECT_EQ(first, 0);
  EXPECT_FALSE(timer.Kill(a));
  EXPECT_TRUE(timer.Kill(b));
  EXPECT_EQ(timer.Create(2, 0, [](Timer::Id) {}), 0u);
  EXPECT_EQ(timer.Create(2, -5, [](Timer::Id) {}), 0u);
}

TEST(QtTimerTest, KillAndCreateInsideATickRestartsCleanly) {
  // The monitoring cycle's restart: the first tick kills its timer and
  // makes a new one with the same event id.
  QtTimer timer;
  int ticks = 0;
  std::function<void(Timer::Id)> onTick = [&](Timer::Id id) {
    if (++ticks == 1) {
      EXPECT_TRUE(timer.Kill(id));
      EXPECT_NE(timer.Create(1, 20, onTick), 0u);
    }
  };
  timer.Create(1, 20, onTick);
  ASSERT_TRUE(Spin([&] { return ticks >= 3; }));
}

}  // namespace
}  // namespace wren::platform
