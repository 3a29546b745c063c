#include "gui/CDeviceAuditDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <thread>

#include "adapters/qt/UiPost.h"
#include "core/bluetooth/ServiceTexts.h"
#include "gui/DeviceImageStrip.h"

namespace wren::gui {

struct CDeviceAuditDlg::Worker {
  std::uint64_t ticket = 0;
  std::stop_source stop;
  std::atomic<bool> finished{false};
  std::thread thread;
};

CDeviceAuditDlg::CDeviceAuditDlg(ServiceQuery query, QWidget* parent)
    : QDialog(parent), m_query(std::move(query)), m_post(std::make_shared<platform::UiPost>(this)) {
  setObjectName("deviceAuditDialog");
  setWindowTitle("Device Audit Dialog");
  setSizeGripEnabled(true);

  auto* label = new QLabel("Device Address:", this);
  m_address = new QLineEdit(this);
  m_address->setObjectName("auditAddress");
  // The address always comes from the list.
  m_address->setReadOnly(true);
  label->setBuddy(m_address);
  m_getServices = new QPushButton("Get Advertised Services", this);
  m_getServices->setObjectName("auditGetServices");
  m_getServices->setDefault(true);
  m_getServices->setAutoDefault(true);
  connect(m_getServices, &QPushButton::clicked, this, &CDeviceAuditDlg::OnGetAdvertisedServices);

  m_list = new QTreeWidget(this);
  m_list->setObjectName("auditList");
  m_list->setColumnCount(1);
  m_list->setHeaderLabels({"Device Parameters"});
  m_list->setRootIsDecorated(false);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setUniformRowHeights(true);
  m_list->setIconSize(QSize(DeviceImageStrip::kWidth, DeviceImageStrip::kHeight));
  m_list->header()->setStretchLastSection(true);
  m_list->header()->setSectionsClickable(false);

  auto* top = new QHBoxLayout;
  top->addWidget(label);
  top->addWidget(m_address, 1);
  top->addWidget(m_getServices);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_list, 1);
  resize(540, 420);
}

CDeviceAuditDlg::~CDeviceAuditDlg() {
  // Every worker is asked to stop and waited for: none may outlive the
  // window it reports to.
  m_post->Detach();
  for (auto& worker : m_workers) worker->stop.request_stop();
  for (auto& worker : m_workers)
    if (worker->thread.joinable()) worker->thread.join();
}

void CDeviceAuditDlg::SetAddress(const std::string& address) {
  m_address->setText(QString::fromStdString(address));
}

std::string CDeviceAuditDlg::Address() const { return m_address->text().toStdString(); }

int CDeviceAuditDlg::DoModal() {
  m_list->clear();
  m_getServices->setEnabled(true);
  m_getServices->setFocus();
  return exec();
}

void CDeviceAuditDlg::AddRow(const QString& text, int image) {
  auto* item = new QTreeWidgetItem(m_list, {text});
  item->setIcon(0, DeviceImageStrip::Shared().Icon(image));
  item->setToolTip(0, text);
}

void CDeviceAuditDlg::OnGetAdvertisedServices() {
  // One query at a time: the button stays off until this one ends.
  if (m_current != 0 || !m_query) return;
  JoinFinished();
  m_list->clear();
  AddRow("Wait for answer...", kHeaderImage);
  m_getServices->setEnabled(false);

  auto worker = std::make_unique<Worker>();
  worker->ticket = m_current = m_nextTicket++;
  Worker* w = worker.get();
  const std::string address = Address();
  // The worker reaches the dialog only through its post; the dialog's
  // destructor detaches and joins it first.
  w->thread =
      std::thread([this, w, address, query = m_query, post = m_post, token = w->stop.get_token()] {
        std::string services;
        query(address, services, token);
        const std::uint64_t ticket = w->ticket;
        w->finished = true;
        if (token.stop_requested()) return;
        post->Post(
            [this, ticket, services = std::move(services)] { OnQueryFinished(ticket, services); });
      });
  m_workers.push_back(std::move(worker));
}

void CDeviceAuditDlg::OnQueryFinished(std::uint64_t ticket, const std::string& services) {
  // The answer of a query cancelled by closing the dialog goes nowhere.
  if (ticket != m_current) return;
  m_current = 0;
  m_list->clear();
  const std::vector<std::string> rows = SplitServiceText(services);
  if (!rows.empty()) {
    AddRow(QString("Advertised Services:%1").arg(rows.size()), kHeaderImage);
    for (const std::string& row : rows) AddRow(QString::fromStdString(row), kServiceImage);
  }
  m_getServices->setEnabled(true);
  JoinFinished();
  emit servicesShown();
}

void CDeviceAuditDlg::CancelQuery() {
  for (auto& worker : m_workers)
    if (worker->ticket == m_current) worker->stop.request_stop();
  m_current = 0;
  m_getServices->setEnabled(true);
}

void CDeviceAuditDlg::JoinFinished() {
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if ((*it)->finished) {
      (*it)->thread.join();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
}

void CDeviceAuditDlg::done(int result) {
  CancelQuery();
  m_list->clear();
  QDialog::done(result);
}

}  // namespace wren::gui
