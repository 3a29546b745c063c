#pragma once
// Sound playback through Qt Multimedia: one media player with its own audio
// output per playback. The backend plays WAV, MP3 and AU files; a file it
// cannot open or decode leaves a silent playback and no message.

#include "ports/SoundOutput.h"

#include <map>
#include <memory>

class QMediaPlayer;
class QAudioOutput;

namespace wren::platform {

class QtSoundOutput : public SoundOutput {
public:
  QtSoundOutput();
  ~QtSoundOutput() override;
  QtSoundOutput(const QtSoundOutput&) = delete;
  QtSoundOutput& operator=(const QtSoundOutput&) = delete;

  // Playbacks belong to this adapter, so a window closing first leaves
  // nothing dangling.
  Playback Open(const std::string& file) override;
  bool IsPlaying(Playback playback) const override;
  void PlayFromStart(Playback playback) override;
  void Stop(Playback playback) override;
  void Close(Playback playback) override;

private:
  struct Player;
  std::map<Playback, std::unique_ptr<Player>> m_players;
  Playback m_last = 0;
};

}  // namespace wren::platform
