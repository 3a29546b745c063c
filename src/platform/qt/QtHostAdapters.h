#pragma once
// The Qt adapters a monitor runs on, the window and the headless one
// alike: the settings store (the user's, or an INI file), sound output, the
// messenger, the timer and the dispatcher to the user-interface thread.

#include <QString>

#include <memory>
#include <string>

#include "platform/NetbiosMessenger.h"
#include "platform/qt/QtDispatcher.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSoundOutput.h"
#include "platform/qt/QtTimer.h"

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
