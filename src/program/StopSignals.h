#pragma once
// The signals that end a run the way its own stop does (SIGINT and SIGTERM
// for the headless monitor; SIGHUP too for the window, as a desktop logout
// sends it), handled from the moment this object exists: the handler only
// notes the request and writes a byte to a pipe that the event loop watches
// once there is one. Once a stop was asked for, later signals are ignored
// until the end, so that a repeated one cannot cut the save short.

#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace wren {

class StopSignals {
public:
  explicit StopSignals(std::initializer_list<int> which = {SIGINT, SIGTERM});
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Once the event loop exists: `onStop` runs on it for each request,
  // including one that came before.
  void Watch(std::function<void()> onStop);
  // A stop was asked for.
  bool Stopped() const;

private:
  std::vector<int> m_signals;
  std::vector<struct sigaction> m_old;
  std::function<void()> m_onStop;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace wren
