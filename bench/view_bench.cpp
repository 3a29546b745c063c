// Merging a scan into the device list and its history, and saving and
// loading a large history.xml.
//
// The merge is measured twice: through the reconciler's indexes, and through the
// plain walks (every row's address cell read in order, the whole history
// walked for every record) on the same model, which is what the merge costs
// without them. The history file is measured beside pugixml building and
// parsing the same document.

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/history/HistoryStore.h"
#include "base/System.h"
#include "core/list/ScanReconciler.h"

namespace wren {
namespace {

constexpr int kScanSize = 10'000;
constexpr int kHistorySize = 100'000;

std::string AddressOf(int i) {
  char text[18];
  std::snprintf(text, sizeof text, "00:1A:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF, (i >> 16) & 0xFF,
                (i >> 8) & 0xFF, i & 0xFF);
  return text;
}

DeviceRecord MakeDevice(int i) {
  DeviceRecord r;
  r.m_radioName = "WORKSTATION-hci0";
  r.m_name = "Device number " + std::to_string(i);
  r.m_address = AddressOf(i);
  r.m_producer = "Example Electronics Corporation";
  r.m_lastSeen = "14:03:59 07/21/2009";
  r.m_lastUsed = "13:00:00 07/20/2009";
  r.m_type = "Phone/Smart phone";
  r.m_services = "Object Transfer,Audio,Telephony";
  r.m_connected = i % 3 == 0;
  r.m_remembered = i % 2;
  r.m_authenticated = i % 5 != 0;
  r.m_image = 7;
  return r;
}

// Two versions of one scan of devices 0 .. kScanSize-1 whose connection
// states differ, so that alternating them really changes cells.
DeviceList MakeScan(bool flipped) {
  DeviceList scan;
  for (int i = 0; i < kScanSize; ++i) {
    DeviceRecord r = MakeDevice(i);
    if (flipped) r.m_connected = !r.m_connected;
    scan.push_back(std::move(r));
  }
  return scan;
}

// The history: the scanned devices spread among others never shown.
DeviceList MakeHistory() {
  DeviceList history;
  for (int i = 0; i < kHistorySize; ++i) {
    const int device = i % 10 == 0 ? i / 10 : kScanSize + i;
    history.push_back(MakeDevice(device));
  }
  return history;
}

// The merge with linear look-ups, cell for cell the view's writes.
class LinearMerge {
public:
  DeviceListModel model;
  DeviceList history;

  void ReconcileScan(const DeviceList& scan) {
    for (const DeviceRecord& r : scan) UpdateDeviceRow(r);
  }

private:
  int FindDeviceRow(const std::string& address) const {
    for (int row = 0; row < model.RowCount(); ++row)
      if (model.CellText(row, kAddressColumn) == address) return row;
    return -1;
  }
  void UpdateHistoryEntry(const DeviceRecord& r) {
    bool matched = false;
    for (DeviceRecord& entry : history)
      if (entry.m_address == r.m_address) {
        entry = r;
        matched = true;
      }
    if (!matched) history.push_front(r);
  }
  void UpdateDeviceRow(DeviceRecord r) {
    const int n = model.RowCount();
    int row = FindDeviceRow(r.m_address);
    UpdateHistoryEntry(r);
    const bool local = r.m_isLocalRadio != 0;
    const std::string title = r.m_radioName + " -> " + r.m_name + (local ? " (local)" : "");
    const int rowImage = r.m_connected ? 3 : 0;
    if (row == -1) {
      row = model.InsertRow(n, title, rowImage);
      if (row == -1) return;
    } else {
      model.SetCell(row, 0, title, rowImage);
    }
    model.SetCell(row, 1, r.m_type, r.m_image);
    model.SetCell(row, 2, r.m_address, r.m_connected ? 37 : 36);
    model.SetCellText(row, 3, r.m_producer);
    model.SetCellText(row, 4, r.m_lastSeen);
    model.SetCellText(row, 5, r.m_lastUsed);
    model.SetCell(row, 6,
                  local           ? ""
                  : r.m_connected ? "Connected"
                                  : "Disconnected",
                  local           ? -1
                  : r.m_connected ? 35
                                  : 38);
    model.SetCell(row, 7,
                  local            ? ""
                  : r.m_remembered ? "Remembered"
                                   : "Not Remembered",
                  local            ? -1
                  : r.m_remembered ? 4
                                   : -1);
    model.SetCell(row, 8,
                  local               ? ""
                  : r.m_authenticated ? "Authenticated"
                                      : "Not Authenticated",
                  local               ? -1
                  : r.m_authenticated ? 5
                                      : -1);
    model.SetCellText(row, 9, r.m_services);
  }
};

void BM_ReconcileIndexed(benchmark::State& state) {
  const DeviceList scans[2] = {MakeScan(false), MakeScan(true)};
  DeviceListModel list;
  DeviceHistory history;
  ScanReconciler view(list, history);
  for (DeviceRecord& r : MakeHistory()) history.Append(std::move(r));
  view.ReconcileScan(scans[1]);  // the 10,000 rows
  int next = 0;
  for (auto _ : state) {
    view.ReconcileScan(scans[next]);
    next ^= 1;
  }
  if (view.Model().RowCount() != kScanSize || history.Size() != kHistorySize)
    state.SkipWithError("unexpected list sizes");
  state.counters["rows"] = view.Model().RowCount();
  state.counters["history"] = static_cast<double>(history.Size());
}
BENCHMARK(BM_ReconcileIndexed)->Unit(benchmark::kMillisecond);

void BM_ReconcileLinearWalk(benchmark::State& state) {
  const DeviceList scans[2] = {MakeScan(false), MakeScan(true)};
  LinearMerge merge;
  merge.history = MakeHistory();
  merge.ReconcileScan(scans[1]);
  int next = 0;
  for (auto _ : state) {
    merge.ReconcileScan(scans[next]);
    next ^= 1;
  }
  if (merge.model.RowCount() != kScanSize || merge.history.size() != kHistorySize)
    state.SkipWithError("unexpected list sizes");
}
BENCHMARK(BM_ReconcileLinearWalk)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- history.xml

class TempDataFolder {
public:
  TempDataFolder() {
    char tmpl[] = "/tmp/wren-bench-XXXXXX";
    if (mkdtemp(tmpl)) m_folder = tmpl;
    platform::SetDataFolderOverride(m_folder);
  }
  ~TempDataFolder() {
    platform::SetDataFolderOverride("");
    if (!m_folder.empty()) {
      std::remove((m_folder + "/history.xml").c_str());
      std::remove((m_folder + "/history-pugi.xml").c_str());
      rmdir(m_folder.c_str());
    }
  }
  std::string Path(const char* name) const { return m_folder + "/" + name; }

private:
  std::string m_folder;
};

void BM_SaveHistoryWren(benchmark::State& state) {
  TempDataFolder folder;
  const DeviceList history = MakeHistory();
  HistoryStore store;
  for (auto _ : state) {
    std::string error;
    if (!store.SaveHistory(history, &error)) state.SkipWithError(error.c_str());
  }
  state.counters["bytes"] = static_cast<double>(store.File().GetDocumentText().size());
}
BENCHMARK(BM_SaveHistoryWren)->Unit(benchmark::kMillisecond);

void BM_LoadHistoryWren(benchmark::State& state) {
  TempDataFolder folder;
  {
    HistoryStore writer;
    writer.SaveHistory(MakeHistory());
  }
  std::size_t loaded = 0;
  for (auto _ : state) {
    DeviceList list;
    HistoryStore store;
    if (!store.LoadHistory(list).fileRead) state.SkipWithError("history.xml did not load");
    loaded = list.size();
    benchmark::DoNotOptimize(list);
  }
  if (loaded != kHistorySize) state.SkipWithError("wrong entry count");
}
BENCHMARK(BM_LoadHistoryWren)->Unit(benchmark::kMillisecond);

// A figure from /proc/self/status, in bytes ("VmRSS", "VmHWM"); 0 when absent.
std::size_t StatusBytes(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  std::size_t kb = 0;
  const std::size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
      kb = std::strtoull(line + n + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return kb * 1024;
}

// The memory a load takes at its peak, against the file's size. Each load
// runs in a child process, so the figure is the load's own: the child
// hands free heap back first, and its high-water mark starts there.
void BM_LoadHistoryPeakMemory(benchmark::State& state) {
  TempDataFolder folder;
  {
    HistoryStore writer;
    writer.SaveHistory(MakeHistory());
  }
  struct stat st {};
  if (stat(platform::DataFilePath(kHistoryFileName).c_str(), &st) != 0) {
    state.SkipWithError("no history.xml");
    return;
  }
  double ratio = 0;
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) {
      state.SkipWithError("pipe failed");
      return;
    }
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      malloc_trim(0);
      if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear);  // the high-water mark restarts from here
        std::fclose(clear);
      }
      const std::size_t before = StatusBytes("VmRSS");
      std::size_t peak = 0;
      {
        DeviceList list;
        HistoryStore store;
        if (store.LoadHistory(list).fileRead && list.size() == kHistorySize)
          peak = StatusBytes("VmHWM");
      }
      const std::size_t used = peak > before ? peak - before : 0;
      (void)!write(fds[1], &used, sizeof used);
      _exit(0);
    }
    close(fds[1]);
    std::size_t used = 0;
    const bool got = read(fds[0], &used, sizeof used) == static_cast<ssize_t>(sizeof used);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!got || used == 0) {
      state.SkipWithError("the load in the child failed");
      return;
    }
    ratio = static_cast<double>(used) / static_cast<double>(st.st_size);
  }
  state.counters["file_MB"] = static_cast<double>(st.st_size) / 1e6;
  state.counters["peak_per_file_byte"] = ratio;
}
BENCHMARK(BM_LoadHistoryPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BuildPugiHistory(pugi::xml_document& doc, const DeviceList& history) {
  doc.reset();
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  pugi::xml_node root = doc.append_child("dataroot");
  root.append_attribute("version") = "1.7.4.0";
  root.append_attribute("vendor") = std::string(kVendorName).c_str();
  root.append_attribute("url") = std::string(kHomePageUrl).c_str();
  root.append_attribute("mail") = std::string(kSupportMail).c_str();
  root.append_attribute("created") = "07/21/2009 14:03:59";
  root.append_attribute("comments") = std::string(kFileComments).c_str();
  for (const DeviceRecord& r : history) {
    pugi::xml_node entry = root.append_child("entry");
    entry.append_attribute("Radio") = XmlDataFile::SanitizeText(r.m_radioName).c_str();
    entry.append_attribute("Name") = XmlDataFile::SanitizeText(r.m_name).c_str();
    entry.append_attribute("Address") = XmlDataFile::SanitizeText(r.m_address).c_str();
    entry.append_attribute("Producer") = XmlDataFile::SanitizeText(r.m_producer).c_str();
    entry.append_attribute("LastSeenTime") = XmlDataFile::SanitizeText(r.m_lastSeen).c_str();
    entry.append_attribute("LastUsedTime") = XmlDataFile::SanitizeText(r.m_lastUsed).c_str();
    entry.append_attribute("Type") = XmlDataFile::SanitizeText(r.m_type).c_str();
    entry.append_attribute("Services") = XmlDataFile::SanitizeText(r.m_services).c_str();
    entry.append_attribute("Image") = r.m_image;
  }
}

void BM_SaveHistoryPugixml(benchmark::State& state) {
  TempDataFolder folder;
  const DeviceList history = MakeHistory();
  const std::string path = folder.Path("history-pugi.xml");
  pugi::xml_document doc;
  for (auto _ : state) {
    BuildPugiHistory(doc, history);
    // One element a line, nothing indented, as our own file is laid out.
    if (!doc.save_file(path.c_str(), "", pugi::format_indent)) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveHistoryPugixml)->Unit(benchmark::kMillisecond);

void BM_LoadHistoryPugixml(benchmark::State& state) {
  TempDataFolder folder;
  const std::string path = folder.Path("history-pugi.xml");
  {
    pugi::xml_document doc;
    BuildPugiHistory(doc, MakeHistory());
    doc.save_file(path.c_str(), "", pugi::format_indent);
  }
  std::size_t loaded = 0;
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) state.SkipWithError("load failed");
    DeviceList list;
    for (pugi::xml_node entry : doc.child("dataroot").children()) {
      DeviceRecord r;
      r.m_radioName = entry.attribute("Radio").value();
      r.m_name = entry.attribute("Name").value();
      r.m_address = entry.attribute("Address").value();
      r.m_producer = entry.attribute("Producer").value();
      r.m_lastSeen = entry.attribute("LastSeenTime").value();
      r.m_lastUsed = entry.attribute("LastUsedTime").value();
      r.m_type = entry.attribute("Type").value();
      r.m_services = entry.attribute("Services").value();
      r.m_image = std::atoi(entry.attribute("Image").value());
      list.push_back(std::move(r));
    }
    loaded = list.size();
    benchmark::DoNotOptimize(list);
  }
  if (loaded != kHistorySize) state.SkipWithError("wrong entry count");
}
BENCHMARK(BM_LoadHistoryPugixml)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wren

BENCHMARK_MAIN();
