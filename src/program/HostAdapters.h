#pragma once
// The Qt adapters a monitor runs on, the window and the headless one
// alike: the settings store (the user's, or an INI file), sound output, the
// messenger, the timer and the dispatcher to the user-interface thread.

#include <QString>

#include <memory>
#include <string>

#include "adapters/posix/NetbiosMessenger.h"
#include "adapters/qt/QtDispatcher.h"
#include "adapters/qt/QtSettingsStore.h"
#include "adapters/qt/QtSoundOutput.h"
#include "adapters/qt/QtTimer.h"

namespace wren::platform {

struct QtHostAdapters {
  // "" for the user's settings.
  explicit QtHostAdapters(const std::string& settingsFile)
      : settings(settingsFile.empty()
                     ? std::make_unique<QtSettingsStore>()
                     : std::make_unique<QtSettingsStore>(QString::fromStdString(settingsFile))) {}

  std::unique_ptr<QtSettingsStore> settings;
  QtSoundOutput sound;
  NetbiosMessenger messenger;
  QtTimer timer;
  QtDispatcher dispatcher;
};

}  // namespace wren::platform
