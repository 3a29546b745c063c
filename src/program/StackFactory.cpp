#include "program/StackFactory.h"

#include <utility>

#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"

namespace wren {
namespace {

constexpr const char* kNoBluez = "the BlueZ stack is not part of this build; use --stack sim";

OpenedStack OpenSimulation(const std::string& choice, bool stepped) {
  OpenedStack opened;
  sim::Scenario scenario;
  std::string description;
  bool loaded = false;
  if (choice.empty() || choice == "sim") {
    loaded = sim::LoadDemoScenario(scenario, opened.message);
    description = "demo scenario";
  } else {
    description = choice.substr(4);
    loaded = sim::LoadScenarioFile(description, scenario, opened.message);
  }
  if (!loaded) {
    opened.failure = StackFailure::Failed;
    return opened;
  }
  opened.message.clear();
  auto simulation = std::make_unique<sim::SimulatedStack>(
      std::move(scenario), stepped ? sim::TimeMode::Stepped : sim::TimeMode::Wall, description);
  opened.simulation = simulation.get();
  opened.devices = simulation.get();
  opened.stack = std::move(simulation);
  return opened;
}

}  // namespace

StackFactory::StackFactory(BluezOpener bluez) : m_bluez(std::move(bluez)) {}

OpenedStack StackFactory::Open(const StackRequest& request) const {
  const std::string& choice = request.choice;
  if (choice == "bluez") {
    OpenedStack opened;
    if (!m_bluez) {
      opened.message = kNoBluez;
      opened.failure = StackFailure::Usage;
      return opened;
    }
    platform::StackPorts ports = m_bluez(true, request.pairingAgent, opened.message);
    opened.stack = std::move(ports.stack);
    opened.devices = opened.stack ? ports.devices : nullptr;
    if (!opened.stack) opened.failure = StackFailure::Failed;
    return opened;
  }
  // The default: BlueZ when it answers on the system bus, else the demo.
  if (choice.empty() && !request.steppedTime && m_bluez) {
    OpenedStack opened;
    platform::StackPorts ports = m_bluez(false, request.pairingAgent, opened.message);
    opened.stack = std::move(ports.stack);
    opened.devices = ports.devices;
    if (opened.stack) return opened;
  }
  return OpenSimulation(choice, request.steppedTime);
}

}  // namespace wren
