#include "adapters/bluez/Inquiries.h"

#include <chrono>
#include <utility>

#include "adapters/bluez/DbusWorker.h"
#include "adapters/bluez/WorkerLink.h"

namespace wren::bluez {
namespace {

class Session final : public platform::DiscoverySession {
public:
  Session(Inquiries& inquiries, std::vector<std::string> adapters)
      : m_inquiries(inquiries), m_adapters(std::move(adapters)) {
    m_inquiries.Begin(m_adapters);
  }
  ~Session() override { m_inquiries.End(m_adapters); }

private:
  Inquiries& m_inquiries;
  std::vector<std::string> m_adapters;
};

}  // namespace

void Inquiries::Begin(const std::vector<std::string>& adapters) {
  for (const auto& a : adapters) m_link.Post([a](DbusWorker& w) { w.BeginInquiry(a); });
}

void Inquiries::End(const std::vector<std::string>& adapters) {
  for (const auto& a : adapters) m_link.Post([a](DbusWorker& w) { w.EndInquiry(a); });
}

bool Inquiries::Run(const std::vector<std::string>& adapters, std::uint8_t multiplier,
                    std::stop_token cancel) {
  if (m_link.OnDbusThread()) return true;  // a sink may not wait for its own thread
  Begin(adapters);
  {
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, cancel, std::chrono::milliseconds(1280LL * multiplier),
                  [this] { return m_closing; });
  }
  End(adapters);
  std::lock_guard lock(m_mutex);
  return !cancel.stop_requested() && !m_closing;
}

std::unique_ptr<platform::DiscoverySession> Inquiries::Session(std::vector<std::string> adapters) {
  return std::make_unique<class Session>(*this, std::move(adapters));
}

void Inquiries::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_closing = true;
  }
  m_cv.notify_all();
}

}  // namespace wren::bluez
