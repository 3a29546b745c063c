#include "program/StopSignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace wren {
namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void OnStopSignal(int) {
  g_stopRequested = 1;
  const char byte = 1;
  ssize_t ignored = write(g_signalPipe[1], &byte, 1);
  (void)ignored;
}

}  // namespace

StopSignals::StopSignals(std::initializer_list<int> which) : m_signals(which) {
  g_stopRequested = 0;
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  m_old.resize(m_signals.size());
  for (std::size_t i = 0; i < m_signals.size(); ++i) sigaction(m_signals[i], &action, &m_old[i]);
}

StopSignals::~StopSignals() {
  if (g_signalPipe[0] < 0) return;
  if (Stopped()) {
    // The run ends because it was asked to: a repeated signal from now on
    // must not turn a saved run into a killed one.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int signal : m_signals) sigaction(signal, &ignore, nullptr);
  } else {
    for (std::size_t i = 0; i < m_signals.size(); ++i) sigaction(m_signals[i], &m_old[i], nullptr);
  }
  m_notifier.reset();
  close(g_signalPipe[0]);
  close(g_signalPipe[1]);
  g_signalPipe[0] = g_signalPipe[1] = -1;
}

void StopSignals::Watch(std::function<void()> onStop) {
  if (g_signalPipe[0] < 0) return;
  m_onStop = std::move(onStop);
  m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
    char buffer[16];
    while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (m_onStop) m_onStop();
  });
}

bool StopSignals::Stopped() const { return g_stopRequested != 0; }

}  // namespace wren
