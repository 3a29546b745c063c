// A fleet under load: many monitors in this process, each publishing event
// lines and changed records at a steady rate through one Mosquitto broker,
// with the real `wrenlocator collect` keeping the fleet's history and a
// witness subscriber timing every event line end to end.
//
//   fleet_bench [--fleet_seconds=60] [--fleet_monitors=100] [--fleet_rate=10]
//               [benchmark flags]
//
// The broker: $WREN_FLEET_BROKER (mqtt://host:port) when set, otherwise a
// `mosquitto` started on a free loopback port for the run.
//
// Counters: sent and delivered event lines and their ratio, records the
// collector merged into history.xml, the collector's resident memory
// (VmRSS, kB) after it connected and at the end, and the end-to-end latency
// of event lines (publish call to delivery at the witness) at p50 and p99.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/fleet/FleetPublisher.h"
#include "core/fleet/Topics.h"
#include "adapters/mqtt/MosquittoClient.h"

extern char** environ;

namespace {

using namespace std::chrono;
using wren::fleet::FleetPublisher;

int g_seconds = 60;
int g_monitors = 100;
int g_rate = 10;  // events per second per monitor
constexpr int kDevicesPerMonitor = 10;

std::int64_t NowUs() {
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&files);
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

long RssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

bool Listening(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

// Receives every event line and times it.
class Witness {
public:
  bool Start(const wren::platform::MqttConnectOptions& options, std::string& error) {
    wren::platform::MqttHandlers h;
    h.onState = [this](wren::platform::MqttState state, const std::string&) {
      if (state == wren::platform::MqttState::Connected) {
        m_client->Subscribe("wrenlocator/+/events", 1);
        m_connected = true;
      }
    };
    h.onMessage = [this](const std::string&, const std::string& payload) {
      const std::int64_t now = NowUs();
      const auto at = payload.find("t=");
      if (at == std::string::npos) return;
      const std::int64_t sent = std::atoll(payload.c_str() + at + 2);
      std::lock_guard lock(m_lock);
      m_latencyUs.push_back(now - sent);
    };
    m_client = wren::platform::OpenMosquittoClient();
    return m_client->Start(options, std::move(h), error);
  }
  void Stop() { m_client->Stop(); }
  bool Connected() const { return m_connected; }
  std::vector<std::int64_t> Latencies() {
    std::lock_guard lock(m_lock);
    return m_latencyUs;
  }

private:
  std::unique_ptr<wren::platform::MqttClient> m_client;
  std::atomic<bool> m_connected{false};
  std::mutex m_lock;
  std::vector<std::int64_t> m_latencyUs;
};

double Percentile(std::vector<std::int64_t> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5));
  return static_cast<double>(v[i]) / 1000.0;
}

std::string Address(int monitor, int device) {
  char text[20];
  std::snprintf(text, sizeof text, "02:00:00:%02X:%02X:%02X", (monitor >> 8) & 0xFF,
                monitor & 0xFF, device & 0xFF);
  return text;
}

std::string LastSeen(int second) {
  // Monotonic within a run: the collector's rule keeps the newest.
  char text[24];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d 07/21/2009", (second / 3600) % 24,
                (second / 60) % 60, second % 60);
  return text;
}

void BM_Fleet(benchmark::State& state) {
  const auto work = std::filesystem::temp_directory_path() /
                    ("wren-fleet-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work / "collected");

  // The broker.
  std::string url;
  pid_t broker = -1;
  if (const char* given = std::getenv("WREN_FLEET_BROKER")) {
    url = given;
  } else {
    const int port = FreePort();
    std::ofstream(work / "mosquitto.conf")
        << "listener " << port << " 127.0.0.1\nallow_anonymous true\nmax_queued_messages 0\n"
        << "max_inflight_messages 0\n";
    broker = Spawn({"mosquitto", "-c", (work / "mosquitto.conf").string()},
                   (work / "broker.log").string());
    for (int i = 0; i < 100 && !Listening(port); ++i) std::this_thread::sleep_for(50ms);
    if (!Listening(port)) {
      Stop(broker);
      state.SkipWithError("mosquitto could not be started (is it installed?)");
      return;
    }
    url = "mqtt://127.0.0.1:" + std::to_string(port);
  }
  wren::platform::MqttConnectOptions options;
  std::string error;
  if (!wren::fleet::ParseMqttUrl(url, options, error)) {
    Stop(broker);
    state.SkipWithError(("WREN_FLEET_BROKER: " + error).c_str());
    return;
  }

  // The collector, as users run it.
  const pid_t collector = Spawn({WREN_PROGRAM, "collect", "--mqtt", url, "--data-dir",
                                 (work / "collected").string()},
                                (work / "collect.log").string());
  Witness witness;
  witness.Start(options, error);
  for (int i = 0; i < 200 && (!witness.Connected() ||
                              ReadAll((work / "collect.log").string()).find("connected to") ==
                                  std::string::npos);
       ++i)
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(500ms);
  const long rssStart = RssKb(collector);

  // The monitors.
  std::vector<std::unique_ptr<wren::platform::MqttClient>> clients;
  std::vector<std::unique_ptr<FleetPublisher>> monitors;
  for (int m = 0; m < g_monitors; ++m) {
    clients.push_back(wren::platform::OpenMosquittoClient());
    monitors.push_back(
        std::make_unique<FleetPublisher>(*clients.back(), "bench-" + std::to_string(m)));
    if (!monitors.back()->Start(options, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  for (int i = 0; i < 200; ++i) {
    if (std::all_of(monitors.begin(), monitors.end(), [](auto& p) { return p->Connected(); }))
      break;
    std::this_thread::sleep_for(50ms);
  }

  std::uint64_t sent = 0;
  for (auto _ : state) {
    // One tick per 1/rate s; every monitor logs an event line and one of
    // its devices changes.
    const auto period = microseconds(1000000 / g_rate);
    const int ticks = g_seconds * g_rate;
    auto next = steady_clock::now();
    for (int tick = 0; tick < ticks; ++tick) {
      for (int m = 0; m < g_monitors; ++m) {
        monitors[m]->PublishEvent("seq=" + std::to_string(tick) + " t=" + std::to_string(NowUs()) +
                                  " - 02:00:00:00:00:01 Bench - Bluetooth device has changed");
        wren::DeviceRecord r;
        r.m_radioName = "Bench adapter";
        r.m_address = Address(m, tick % kDevicesPerMonitor);
        r.m_name = "Device " + std::to_string(tick);
        r.m_lastSeen = LastSeen(tick / g_rate);
        monitors[m]->PublishRecord(r);
        ++sent;
      }
      next += period;
      std::this_thread::sleep_until(next);
    }
  }
  for (auto& p : monitors) p->Stop(10s);
  // The witness and the collector catch up.
  std::vector<std::int64_t> latencies;
  for (int i = 0; i < 100; ++i) {
    latencies = witness.Latencies();
    if (latencies.size() >= sent) break;
    std::this_thread::sleep_for(100ms);
  }
  std::this_thread::sleep_for(3s);  // one save interval of the collector and then some
  const long rssEnd = RssKb(collector);
  Stop(collector);
  witness.Stop();
  Stop(broker);

  const std::string history = ReadAll((work / "collected" / "history.xml").string());
  const std::size_t collected = Count(history, "<entry ");
  std::uint64_t dropped = 0;
  for (auto& p : monitors) dropped += p->Stats().dropped;

  state.counters["sent"] = static_cast<double>(sent);
  state.counters["delivered"] = static_cast<double>(latencies.size());
  state.counters["delivered_ratio"] =
      sent ? static_cast<double>(latencies.size()) / static_cast<double>(sent) : 0;
  state.counters["dropped"] = static_cast<double>(dropped);
  state.counters["collected_devices"] = static_cast<double>(collected);
  state.counters["expected_devices"] = g_monitors * std::min(kDevicesPerMonitor, g_seconds * g_rate);
  state.counters["collector_rss_start_kB"] = static_cast<double>(rssStart);
  state.counters["collector_rss_end_kB"] = static_cast<double>(rssEnd);
  state.counters["p50_ms"] = Percentile(latencies, 0.50);
  state.counters["p99_ms"] = Percentile(latencies, 0.99);
  std::filesystem::remove_all(work);
}

}  // namespace

BENCHMARK(BM_Fleet)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    auto take = [&](const char* name, int& into) {
      const std::string prefix = std::string(name) + "=";
      if (a.rfind(prefix, 0) != 0) return false;
      into = std::max(1, std::atoi(a.c_str() + prefix.size()));
      return true;
    };
    if (take("--fleet_seconds", g_seconds) || take("--fleet_monitors", g_monitors) ||
        take("--fleet_rate", g_rate))
      continue;
    rest.push_back(argv[i]);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
