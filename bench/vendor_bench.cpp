// Vendor lookups as every scanned record makes them, and loading the
// embedded database, next to pugixml parsing the same bytes.
//
// Loading touches a few MB of fresh memory; with glibc's default settings
// freed memory goes back to the system between iterations, so the load
// figures include the page faults a real start-up pays. To compare the
// parsers alone, run with
//   MALLOC_TRIM_THRESHOLD_=1000000000 MALLOC_MMAP_THRESHOLD_=1000000000

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/refdata/VendorDatabase.h"
#include "xml/XmlDocument.h"

extern "C" const char wren_vendor_db[];
extern const std::size_t wren_vendor_db_size;

namespace {

const wren::VendorDatabase& LoadedDatabase() {
  static wren::VendorDatabase db = [] {
    wren::VendorDatabase d;
    d.LoadVendorDatabase();
    return d;
  }();
  return db;
}

// Prefixes spread over the table, so the search does not stay on one path.
const char* const kHits[] = {"00-0A-D9", "00-01-C8", "08-00-30", "00-03-93",
                             "00-50-F2", "00-1A-11", "FC-FF-AA", "00-00-00"};
const char* const kMisses[] = {"00-0a-d9", "FF-FF-FF", "00-0A-D", "02-00-00"};

void BM_LookUpHit(benchmark::State& state) {
  const wren::VendorDatabase& db = LoadedDatabase();
  std::string company;
  std::size_t i = 0;
  for (auto _ : state) {
    int found = db.LookUpVendor(company, kHits[i++ & 7]);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(company.data());
  }
  if (db.size() == 0) state.SkipWithError("database did not load");
}
BENCHMARK(BM_LookUpHit);

void BM_LookUpMiss(benchmark::State& state) {
  const wren::VendorDatabase& db = LoadedDatabase();
  std::string company;
  std::size_t i = 0;
  for (auto _ : state) {
    int found = db.LookUpVendor(company, kMisses[i++ & 3]);
    benchmark::DoNotOptimize(found);
  }
  if (db.size() == 0) state.SkipWithError("database did not load");
}
BENCHMARK(BM_LookUpMiss);

// Parse + index, the whole start-up cost of the database.
void BM_LoadEmbedded(benchmark::State& state) {
  for (auto _ : state) {
    wren::VendorDatabase db;
    benchmark::DoNotOptimize(db.LoadVendorDatabase());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wren_vendor_db_size));
}
BENCHMARK(BM_LoadEmbedded)->Unit(benchmark::kMillisecond);

// Our XML engine's parse alone, the larger part of loading.
void BM_XmlDocumentParse(benchmark::State& state) {
  for (auto _ : state) {
    wren::XmlDocument doc;
    benchmark::DoNotOptimize(doc.SetText(std::string_view(wren_vendor_db, wren_vendor_db_size)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wren_vendor_db_size));
}
BENCHMARK(BM_XmlDocumentParse)->Unit(benchmark::kMillisecond);

// pugixml parsing the same bytes (it parses in place, so it gets a copy).
void BM_PugixmlParse(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(wren_vendor_db, wren_vendor_db_size);
    benchmark::DoNotOptimize(r.status);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wren_vendor_db_size));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

// pugixml parse plus a prefix map keeping the first company of each prefix.
void BM_PugixmlParseAndIndex(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    doc.load_buffer(wren_vendor_db, wren_vendor_db_size);
    std::unordered_map<std::string, std::string> index;
    index.reserve(40000);
    for (pugi::xml_node mac : doc.child("Macaddresses").children()) {
      index.emplace(mac.attribute("addr").value(), mac.attribute("company").value());
    }
    benchmark::DoNotOptimize(index.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wren_vendor_db_size));
}
BENCHMARK(BM_PugixmlParseAndIndex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
