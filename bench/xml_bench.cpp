// The XML engine against pugixml on the same bytes: reading a document
// shaped like the vendor database, reading a large history file, reading
// history records as the program does, and building a history. Ends with a
// summary of the time ratios.
//
// Each figure is its library's best case, taken the same way for both:
// - one document serves every iteration, as in a program that reads or
//   writes the same kind of file again. Every iteration still hands it the
//   text afresh, which each library copies into storage of its own
//   (XmlDocument::SetText, pugi::xml_document::load_buffer), or starts it
//   from empty (SetText of the declaration, xml_document::reset);
// - memory either library frees stays with the process for the next
//   iteration (KeepFreedMemory in main). Without that, every iteration of
//   a large document pays the kernel's page faults on fresh memory, and
//   which library pays how much depends on the sizes it asks malloc for,
//   not on its work.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <pugixml.hpp>

#include <climits>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/bluetooth/DeviceRecord.h"
#include "core/history/HistoryStore.h"
#include "xml/XmlDocument.h"

namespace {

constexpr int kVendorLines = 32000;
constexpr int kHistoryEntries = 100000;
constexpr int kRecordEntries = 20000;

const char* const kHeader =
    " version=\"1.7.4.0\" vendor=\"Pelmark LLC.\""
    " url=\"http://www.pelmark.example/wrenlocator/"
    "?utm_source=wrenlocator-1740&amp;utm_medium=wrenlocator-1740\""
    " mail=\"support@pelmark.example\" created=\"01/02/2026 12:00:00\" comments=\"Wrenlocator "
    "Database File\"";

const std::string& VendorText() {
  static const std::string text = [] {
    std::string t = "<?xml version=\"1.0\"?>\r\n<Macaddresses";
    t += kHeader;
    t += ">\r\n";
    char line[256];
    for (int i = 0; i < kVendorLines; ++i) {
      std::snprintf(line, sizeof line,
                    "<mac addr=\"%02X-%02X-%02X\" company=\"Company %d &amp; Co\" "
                    "street=\"%d Industrial Park Road, Building %d\" country=\"%s\"/>\r\n",
                    (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF, i, i % 977, i % 31,
                    i % 3 == 0 ? "SE" : (i % 3 == 1 ? "US" : "TW"));
      t += line;
    }
    t += "</Macaddresses>\r\n";
    return t;
  }();
  return text;
}

struct Entry {
  std::string radio, name, address, producer, lastSeen, lastUsed, type, services;
  int image = 0;
};

const char* const kNames[9] = {"Radio",        "Name", "Address",  "Producer", "LastSeenTime",
                               "LastUsedTime", "Type", "Services", "Image"};

const std::vector<Entry>& HistoryEntries() {
  static const std::vector<Entry> entries = [] {
    std::vector<Entry> v(kHistoryEntries);
    char buf[64];
    for (int i = 0; i < kHistoryEntries; ++i) {
      Entry& e = v[static_cast<std::size_t>(i)];
      e.radio = "hci0 Desktop Radio";
      e.name = "Phone of user " + std::to_string(i) + " & family";
      std::snprintf(buf, sizeof buf, "00:1A:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF,
                    (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
      e.address = buf;
      e.producer = "Some Producer Corporation Ltd.";
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d 01/02/2026", (i / 3600) % 24, (i / 60) % 60,
                    i % 60);
      e.lastSeen = buf;
      e.lastUsed = buf;
      e.type = "Phone/Smart phone";
      e.services = "Audio,Telephony,Object Transfer";
      e.image = i % 48;
    }
    return v;
  }();
  return entries;
}

// The history file as the program writes it.
const std::string& HistoryText() {
  static const std::string text = [] {
    std::string t = "<?xml version=\"1.0\"?>\r\n<dataroot";
    t += kHeader;
    t += ">\r\n";
    for (const Entry& e : HistoryEntries()) {
      t += "<entry";
      const std::string* values[8] = {&e.radio,    &e.name,     &e.address, &e.producer,
                                      &e.lastSeen, &e.lastUsed, &e.type,    &e.services};
      for (int k = 0; k < 8; ++k) {
        t += ' ';
        t += kNames[k];
        t += "=\"";
        t += wren::XmlDocument::EncodeAttributeValue(*values[k]);
        t += '"';
      }
      t += " Image=\"" + std::to_string(e.image) + "\"/>\r\n";
    }
    t += "</dataroot>\r\n";
    return t;
  }();
  return text;
}

// history.xml as HistoryStore saves it, over records such as scans find.
const std::string& RecordText() {
  static const std::string text = [] {
    const char* const names[4] = {"Headset & Mic ", "Phone & Co ", "Car Kit & Radio ",
                                  "Watch & Band "};
    const char* const producers[4] = {"Acme Corp.", "Pelmark LLC.", "Nordic Semiconductor ASA",
                                      "Apple, Inc."};
    const char* const types[4] = {"Phone/Smart phone", "Audio/Headset", "Computer/Laptop",
                                  "Wearable/Wrist watch"};
    const char* const services[4] = {"Audio,Telephony", "Audio", "", "Object Transfer,Networking"};
    wren::DeviceList list;
    char buf[64];
    for (int i = 0; i < kRecordEntries; ++i) {
      wren::DeviceRecord r;
      r.m_radioName = i % 5 == 0 ? "hci1" : "hci0";
      r.m_name = names[i % 4] + std::to_string(i % 100);
      std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", (i * 7) & 0xFF,
                    (i >> 3) & 0xFF, 0x5B, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
      r.m_address = buf;
      r.m_producer = producers[(i / 3) % 4];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %02d/%02d/2026", (i / 3600) % 24,
                    (i / 60) % 60, i % 60, 1 + i % 12, 1 + i % 28);
      r.m_lastSeen = buf;
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %02d/%02d/2025", (i / 1800) % 24,
                    (i / 30) % 60, (i * 7) % 60, 1 + (i / 7) % 12, 1 + (i / 5) % 28);
      r.m_lastUsed = buf;
      r.m_type = types[(i / 2) % 4];
      r.m_services = services[(i / 5) % 4];
      r.m_image = i % 48;
      list.push_back(std::move(r));
    }
    return wren::HistoryStore::DocumentText(list);
  }();
  return text;
}

// What a read record holds, so that no read can be left out.
std::size_t RecordSum(const wren::DeviceRecord& r) {
  return r.m_radioName.size() + r.m_name.size() + r.m_address.size() + r.m_producer.size() +
         r.m_lastSeen.size() + r.m_lastUsed.size() + r.m_type.size() + r.m_services.size() +
         static_cast<std::size_t>(r.m_image);
}

// --- (a) vendor database: parse and read every addr -------------------------

void Vendor_Wren(benchmark::State& state) {
  const std::string& text = VendorText();
  wren::XmlDocument doc;
  for (auto _ : state) {
    if (!doc.SetText(std::string_view(text))) state.SkipWithError("parse failed");
    std::size_t total = 0;
    int n = 0;
    doc.FindElement("Macaddresses");
    doc.EnterElement();
    while (doc.FindElement("mac")) {
      total += doc.GetAttribute("addr").size();
      ++n;
    }
    if (n != kVendorLines) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void Vendor_Pugi(benchmark::State& state) {
  const std::string& text = VendorText();
  pugi::xml_document doc;
  for (auto _ : state) {
    if (!doc.load_buffer(text.data(), text.size())) state.SkipWithError("parse failed");
    std::size_t total = 0;
    int n = 0;
    for (pugi::xml_node mac : doc.child("Macaddresses").children("mac")) {
      total += std::string(mac.attribute("addr").value()).size();
      ++n;
    }
    if (n != kVendorLines) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

// --- (b) history: parse and read the nine attributes of every entry -------
// Into the same nine strings every time: pugixml's values are copied into
// the storage those strings keep, while XmlDocument::GetAttribute hands
// over a new string for every value.

void History_Wren(benchmark::State& state) {
  const std::string& text = HistoryText();
  wren::XmlDocument doc;
  Entry e;
  for (auto _ : state) {
    if (!doc.SetText(std::string_view(text))) state.SkipWithError("parse failed");
    std::size_t total = 0;
    int n = 0;
    doc.FindElement("dataroot");
    doc.EnterElement();
    while (doc.FindElement()) {
      e.radio = doc.GetAttribute("Radio");
      e.name = doc.GetAttribute("Name");
      e.address = doc.GetAttribute("Address");
      e.producer = doc.GetAttribute("Producer");
      e.lastSeen = doc.GetAttribute("LastSeenTime");
      e.lastUsed = doc.GetAttribute("LastUsedTime");
      e.type = doc.GetAttribute("Type");
      e.services = doc.GetAttribute("Services");
      e.image = std::atoi(doc.GetAttribute("Image").c_str());
      total += e.name.size() + e.address.size() + static_cast<std::size_t>(e.image);
      ++n;
    }
    if (n != kHistoryEntries) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void History_Pugi(benchmark::State& state) {
  const std::string& text = HistoryText();
  pugi::xml_document doc;
  Entry e;
  for (auto _ : state) {
    if (!doc.load_buffer(text.data(), text.size())) state.SkipWithError("parse failed");
    std::size_t total = 0;
    int n = 0;
    for (pugi::xml_node x : doc.child("dataroot").children()) {
      e.radio = x.attribute("Radio").value();
      e.name = x.attribute("Name").value();
      e.address = x.attribute("Address").value();
      e.producer = x.attribute("Producer").value();
      e.lastSeen = x.attribute("LastSeenTime").value();
      e.lastUsed = x.attribute("LastUsedTime").value();
      e.type = x.attribute("Type").value();
      e.services = x.attribute("Services").value();
      e.image = std::atoi(x.attribute("Image").value());
      total += e.name.size() + e.address.size() + static_cast<std::size_t>(e.image);
      ++n;
    }
    if (n != kHistoryEntries) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

// --- (c) history records: history.xml as the program writes it, read -------
// record by record as the program reads it: a fresh record for every entry,
// every attribute value read into a fresh std::string. The text comes from
// HistoryStore itself; one attribute of every entry, the name, holds an
// entity ("&amp;"). The records are what a scan finds: short radio and
// service names, addresses and times a little longer than a short string
// holds.

void Records_Wren(benchmark::State& state) {
  const std::string& text = RecordText();
  wren::XmlDocument doc;
  for (auto _ : state) {
    if (!doc.SetText(std::string_view(text))) state.SkipWithError("parse failed");
    std::size_t total = 0;
    int n = 0;
    doc.FindElement("dataroot");
    doc.EnterElement();
    while (doc.FindElement()) {
      wren::DeviceRecord r;
      r.m_radioName = doc.GetAttribute("Radio");
      r.m_name = doc.GetAttribute("Name");
      r.m_address = doc.GetAttribute("Address");
      r.m_producer = doc.GetAttribute("Producer");
      r.m_lastSeen = doc.GetAttribute("LastSeenTime");
      r.m_lastUsed = doc.GetAttribute("LastUsedTime");
      r.m_type = doc.GetAttribute("Type");
      r.m_services = doc.GetAttribute("Services");
      r.m_image = wren::HistoryStore::ParseImage(doc.GetAttribute("Image"));
      total += RecordSum(r);
      ++n;
    }
    if (n != kRecordEntries) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void Records_Pugi(benchmark::State& state) {
  const std::string& text = RecordText();
  pugi::xml_document doc;
  for (auto _ : state) {
    if (!doc.load_buffer(text.data(), text.size())) state.SkipWithError("parse failed");
    std::size_t total = 0;
    int n = 0;
    for (pugi::xml_node x : doc.child("dataroot").children()) {
      wren::DeviceRecord r;
      r.m_radioName = std::string(x.attribute("Radio").value());
      r.m_name = std::string(x.attribute("Name").value());
      r.m_address = std::string(x.attribute("Address").value());
      r.m_producer = std::string(x.attribute("Producer").value());
      r.m_lastSeen = std::string(x.attribute("LastSeenTime").value());
      r.m_lastUsed = std::string(x.attribute("LastUsedTime").value());
      r.m_type = std::string(x.attribute("Type").value());
      r.m_services = std::string(x.attribute("Services").value());
      r.m_image = wren::HistoryStore::ParseImage(std::string(x.attribute("Image").value()));
      total += RecordSum(r);
      ++n;
    }
    if (n != kRecordEntries) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

// --- (d) building the history and taking its text ---------------------------

void Build_Wren(benchmark::State& state) {
  const std::vector<Entry>& entries = HistoryEntries();
  wren::XmlDocument doc;
  std::string out;
  for (auto _ : state) {
    doc.SetText("<?xml version=\"1.0\"?>\r\n");
    doc.AddElement("dataroot");
    doc.SetAttribute("version", "1.7.4.0");
    doc.SetAttribute("vendor", "Pelmark LLC.");
    doc.SetAttribute("comments", "Wrenlocator Database File");
    doc.ResetPosition();
    doc.FindElement("dataroot");
    doc.EnterElement();
    for (const Entry& e : entries) {
      doc.AddElement("entry");
      doc.SetAttribute("Radio", e.radio);
      doc.SetAttribute("Name", e.name);
      doc.SetAttribute("Address", e.address);
      doc.SetAttribute("Producer", e.producer);
      doc.SetAttribute("LastSeenTime", e.lastSeen);
      doc.SetAttribute("LastUsedTime", e.lastUsed);
      doc.SetAttribute("Type", e.type);
      doc.SetAttribute("Services", e.services);
      doc.SetAttribute("Image", static_cast<std::int32_t>(e.image));
    }
    out = doc.GetText();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(out.size()));
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, std::size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

void Build_Pugi(benchmark::State& state) {
  const std::vector<Entry>& entries = HistoryEntries();
  pugi::xml_document doc;
  StringWriter writer;
  for (auto _ : state) {
    doc.reset();
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    pugi::xml_node root = doc.append_child("dataroot");
    root.append_attribute("version").set_value("1.7.4.0");
    root.append_attribute("vendor").set_value("Pelmark LLC.");
    root.append_attribute("comments").set_value("Wrenlocator Database File");
    for (const Entry& e : entries) {
      pugi::xml_node x = root.append_child("entry");
      x.append_attribute("Radio").set_value(e.radio.c_str());
      x.append_attribute("Name").set_value(e.name.c_str());
      x.append_attribute("Address").set_value(e.address.c_str());
      x.append_attribute("Producer").set_value(e.producer.c_str());
      x.append_attribute("LastSeenTime").set_value(e.lastSeen.c_str());
      x.append_attribute("LastUsedTime").set_value(e.lastUsed.c_str());
      x.append_attribute("Type").set_value(e.type.c_str());
      x.append_attribute("Services").set_value(e.services.c_str());
      x.append_attribute("Image").set_value(e.image);
    }
    writer.out.clear();
    doc.save(writer, "", pugi::format_default | pugi::format_no_declaration);
    benchmark::DoNotOptimize(writer.out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(writer.out.size()));
}

BENCHMARK(Vendor_Wren)->Unit(benchmark::kMillisecond);
BENCHMARK(Vendor_Pugi)->Unit(benchmark::kMillisecond);
BENCHMARK(History_Wren)->Unit(benchmark::kMillisecond);
BENCHMARK(History_Pugi)->Unit(benchmark::kMillisecond);
BENCHMARK(Records_Wren)->Unit(benchmark::kMillisecond);
BENCHMARK(Records_Pugi)->Unit(benchmark::kMillisecond);
BENCHMARK(Build_Wren)->Unit(benchmark::kMillisecond);
BENCHMARK(Build_Pugi)->Unit(benchmark::kMillisecond);

// Console output plus the real time of every run, for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      // With --benchmark_repetitions the median stands for the benchmark.
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      m_times[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintSummary() const {
    struct Pair {
      const char* label;
      const char* ours;
      const char* peer;
      double target;
    };
    const Pair pairs[] = {
        {"vendor database, parse + read addr", "Vendor_Wren", "Vendor_Pugi", 1.5},
        {"history, parse + read 9 attributes", "History_Wren", "History_Pugi", 1.5},
        {"history records, fresh strings", "Records_Wren", "Records_Pugi", 1.5},
        {"history, build + text", "Build_Wren", "Build_Pugi", 1.5},
    };
    std::printf("\nXmlDocument time / pugixml time (real, CPU):\n");
    for (const Pair& p : pairs) {
      auto a = m_times.find(p.ours);
      auto b = m_times.find(p.peer);
      if (a == m_times.end() || b == m_times.end() || b->second.real <= 0 || b->second.cpu <= 0)
        continue;
      const double real = a->second.real / b->second.real;
      const double cpu = a->second.cpu / b->second.cpu;
      std::printf("  %-38s %5.2fx %5.2fx (target %.1fx) %s\n", p.label, real, cpu, p.target,
                  real <= p.target ? "ok" : "OVER");
    }
  }

private:
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> m_times;
};

// Memory freed by either library is kept for its next allocations instead
// of going back to the kernel: no trimming of the heap's top, and no block
// of its own (mmap) for a large allocation, whose pages would all fault
// again when the next iteration asks for the same size.
void KeepFreedMemory() {
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  mallopt(M_MMAP_MAX, 0);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  KeepFreedMemory();
  // Inputs are built before any timing starts.
  VendorText();
  HistoryText();
  RecordText();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
