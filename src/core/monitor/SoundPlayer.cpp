#include "core/monitor/SoundPlayer.h"

namespace wren {

SoundPlayer::SoundPlayer(platform::SoundOutput& output) : m_output(output) {}

SoundPlayer::~SoundPlayer() {
  if (m_playback != 0) m_output.Close(m_playback);
}

void SoundPlayer::Play(const std::string& file) {
  if (!m_windowOpen) return;
  if (m_playback != 0) {
    m_output.Close(m_playback);
    m_playback = 0;
  }
  m_playback = m_output.Open(file);
  if (m_playback == 0) return;
  if (!m_output.IsPlaying(m_playback)) m_output.PlayFromStart(m_playback);
}

void SoundPlayer::Stop() {
  if (m_playback != 0) m_output.Stop(m_playback);
}

}  // namespace wren
