#pragma once
// The "Device Audit Dialog": the address of the device chosen in the list
// and, on request, the services it advertises. The query runs on a worker
// of the dialog's own so that the window stays responsive during the
// inquiry; the button stays disabled until it ends. Closing the dialog asks
// the query to stop and drops its answer; the dialog's destruction waits for
// every worker it started, so no worker outlives it.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <stop_token>
#include <string>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace wren::platform {
class UiPost;
}

namespace wren::gui {

// Appends the service texts the device at `address` advertises to
// `services`, each followed by ","; returns promptly once `cancel` is
// requested. Called on the dialog's worker thread.
using ServiceQuery =
    std::function<int(const std::string& address, std::string& services, std::stop_token cancel)>;

class CDeviceAuditDlg : public QDialog {
  Q_OBJECT
public:
  explicit CDeviceAuditDlg(ServiceQuery query, QWidget* parent = nullptr);
  ~CDeviceAuditDlg() override;

  // The view sets the address before showing the dialog.
  void SetAddress(const std::string& address);
  std::string Address() const;

  // Shows the dialog modally, starting with an empty list.
  int DoModal();

  // "Get Advertised Services": starts the query on a worker and returns.
  void OnGetAdvertisedServices();
  bool QueryRunning() const { return m_current != 0; }

  // The image-strip indexes of the rows.
  static constexpr int kHeaderImage = 33;
  static constexpr int kServiceImage = 34;

signals:
  // A query's rows are in the list (tests and anyone waiting for them).
  void servicesShown();

protected:
  void done(int result) override;

private:
  struct Worker;
  void OnQueryFinished(std::uint64_t ticket, const std::string& services);
  void CancelQuery();
  void JoinFinished();
  void AddRow(const QString& text, int image);

  ServiceQuery m_query;
  QLineEdit* m_address = nullptr;
  QPushButton* m_getServices = nullptr;
  QTreeWidget* m_list = nullptr;
  std::list<std::unique_ptr<Worker>> m_workers;
  std::shared_ptr<platform::UiPost> m_post;
  std::uint64_t m_nextTicket = 1;
  std::uint64_t m_current = 0;  // the query whose answer is awaited; 0: none
};

}  // namespace wren::gui
