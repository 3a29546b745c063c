#pragma once
// Plays one sound file at a time, fire and forget: a new sound cuts off the
// one still playing, and nothing is reported when a file cannot be played.
// A player plays only while the window it belongs to is open: the window
// says so, the player never reaches for it.

#include "ports/SoundOutput.h"

#include <string>

namespace wren {

class SoundPlayer {
public:
  explicit SoundPlayer(platform::SoundOutput& output);
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Whether the window the player belongs to is open; closed (the start):
  // the player cannot play.
  void SetWindowOpen(bool open) { m_windowOpen = open; }
  void Play(const std::string& file);
  // Stops the current sound; its playback stays until the next Play.
  void Stop();

  bool HasPlayback() const { return m_playback != 0; }

private:
  platform::SoundOutput& m_output;
  platform::SoundOutput::Playback m_playback = 0;
  bool m_windowOpen = false;
};

}  // namespace wren
