// The XML engine against pugixml on the same bytes: reading a document
// shaped like the vendor database, reading a large history file, and
// building one. Ends with a summary of the time ratios.

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "xml/XmlDocument.h"

namespace {

constexpr int kVendorLines = 32000;
constexpr int kHistoryEntries = 100000;

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

// --- (a) vendor database: parse and read every addr -------------------------

void Vendor_Wren(benchmark::State& state) {
  const std::string& text = VendorText();
  for (auto _ : state) {
    wren::XmlDocument doc;
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
  for (auto _ : state) {
    pugi::xml_document doc;
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

void History_Wren(benchmark::State& state) {
  const std::string& text = HistoryText();
  for (auto _ : state) {
    wren::XmlDocument doc;
    if (!doc.SetText(std::string_view(text))) state.SkipWithError("parse failed");
    Entry e;
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
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size())) state.SkipWithError("parse failed");
    Entry e;
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

// --- (c) building the history and taking its text ---------------------------

void Build_Wren(benchmark::State& state) {
  const std::vector<Entry>& entries = HistoryEntries();
  std::size_t bytes = 0;
  for (auto _ : state) {
    wren::XmlDocument doc;
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
    std::string out = doc.GetText();
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, std::size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

void Build_Pugi(benchmark::State& state) {
  const std::vector<Entry>& entries = HistoryEntries();
  std::size_t bytes = 0;
  for (auto _ : state) {
    pugi::xml_document doc;
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
    StringWriter writer;
    doc.save(writer, "", pugi::format_default | pugi::format_no_declaration);
    bytes = writer.out.size();
    benchmark::DoNotOptimize(writer.out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}

BENCHMARK(Vendor_Wren)->Unit(benchmark::kMillisecond);
BENCHMARK(Vendor_Pugi)->Unit(benchmark::kMillisecond);
BENCHMARK(History_Wren)->Unit(benchmark::kMillisecond);
BENCHMARK(History_Pugi)->Unit(benchmark::kMillisecond);
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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Inputs are built before any timing starts.
  VendorText();
  HistoryText();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
