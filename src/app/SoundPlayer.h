#pragma once
// Plays one sound file at a time, fire and forget: a new sound cuts off the
// one still playing, and nothing is reported when a file cannot be played.
// A player needs an owner window before it can play.

#include "platform/SoundOutput.h"

#include <string>

namespace wren {

class SoundPlayer {
 public:
  explicit SoundPlayer(platform::SoundOutput& output);
  virtual ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // The window that owns playbacks; null: the player cannot play.
  void SetParentWindow(platform::SoundOutput::Owner parent);
  void Play(const std::string& file);
  // Stops the current sound; its playback stays until the next Play.
  void Stop();

  bool HasPlayback() const { return m_playback != 0; }

 private:
  platform::SoundOutput& m_output;
  platform::SoundOutput::Playback m_playback = 0;
  platform::SoundOutput::Owner m_parent = nullptr;
};

}  // namespace wren
