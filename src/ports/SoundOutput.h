#pragma once
// Playback of sound files by the system: one playback per opened file,
// invisible, never showing an error. Opening a file that is missing or
// unplayable may still give a playback that simply stays silent.

#include <cstdint>
#include <string>

namespace wren::platform {

class SoundOutput {
public:
  using Playback = std::uint64_t;  // 0: none

  virtual ~SoundOutput() = default;

  virtual Playback Open(const std::string& file) = 0;
  virtual bool IsPlaying(Playback playback) const = 0;
  virtual void PlayFromStart(Playback playback) = 0;
  virtual void Stop(Playback playback) = 0;
  // Ends the playback (cutting off any sound) and forgets it.
  virtual void Close(Playback playback) = 0;
};

}  // namespace wren::platform
