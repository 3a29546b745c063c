#include "adapters/qt/QtSoundOutput.h"

#include <QAudioOutput>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QString>
#include <QUrl>

namespace wren::platform {

struct QtSoundOutput::Player {
  // The output is the player's child and goes with it.
  QMediaPlayer player;
  QAudioOutput* output = new QAudioOutput(&player);
};

namespace {

// A media backend without its decoders (a system missing the GStreamer base
// and good plugins, say) may fail hard when a player is made; when it
// cannot even decode WAVE files no player is made and alarms stay silent.
bool BackendCanDecode() {
  static const bool can =
      QMediaFormat().supportedFileFormats(QMediaFormat::Decode).contains(QMediaFormat::Wave);
  return can;
}

}  // namespace

QtSoundOutput::QtSoundOutput() = default;

QtSoundOutput::~QtSoundOutput() {
  for (auto& [id, p] : m_players) p->player.stop();
}

SoundOutput::Playback QtSoundOutput::Open(const std::string& file) {
  if (!BackendCanDecode()) return 0;
  auto p = std::make_unique<Player>();
  p->player.setAudioOutput(p->output);
  // Errors (missing file, unknown format, no audio device) are the
  // player's to swallow: the alarm must go on without its sound.
  QObject::connect(&p->player, &QMediaPlayer::errorOccurred, &p->player,
                   [](QMediaPlayer::Error, const QString&) {});
  p->player.setSource(QUrl::fromLocalFile(QString::fromStdString(file)));
  Playback id = ++m_last;
  m_players.emplace(id, std::move(p));
  return id;
}

bool QtSoundOutput::IsPlaying(Playback playback) const {
  auto it = m_players.find(playback);
  return it != m_players.end() && it->second->player.playbackState() == QMediaPlayer::PlayingState;
}

void QtSoundOutput::PlayFromStart(Playback playback) {
  auto it = m_players.find(playback);
  if (it == m_players.end()) return;
  it->second->player.setPosition(0);
  it->second->player.play();
}

void QtSoundOutput::Stop(Playback playback) {
  auto it = m_players.find(playback);
  if (it != m_players.end()) it->second->player.stop();
}

void QtSoundOutput::Close(Playback playback) {
  auto it = m_players.find(playback);
  if (it == m_players.end()) return;
  it->second->player.stop();
  m_players.erase(it);
}

}  // namespace wren::platform
