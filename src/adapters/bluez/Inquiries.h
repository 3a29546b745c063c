#pragma once
// Discovery on BlueZ's adapters: the inquiry of a scan, which waits for
// its length, and the open-ended sessions of the add-device dialog. The
// worker counts them per adapter, so overlapping ones share BlueZ's
// discovery.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "ports/DeviceManager.h"

namespace wren::bluez {

class WorkerLink;

class Inquiries {
public:
  explicit Inquiries(WorkerLink& link) : m_link(link) {}

  // A discovery on each adapter for multiplier x 1.28 s. False when it was
  // cancelled, or the stack is closing.
  bool Run(const std::vector<std::string>& adapters, std::uint8_t multiplier,
           std::stop_token cancel);
  // Discovers on `adapters` until the session is destroyed.
  std::unique_ptr<platform::DiscoverySession> Session(std::vector<std::string> adapters);
  // Ends every wait at once.
  void Close();

  void Begin(const std::vector<std::string>& adapters);
  void End(const std::vector<std::string>& adapters);

private:
  WorkerLink& m_link;
  std::mutex m_mutex;
  std::condition_variable_any m_cv;
  bool m_closing = false;
};

}  // namespace wren::bluez
