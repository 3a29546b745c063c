#include "adapters/qt/QtSoundOutput.h"

#include "core/monitor/SoundPlayer.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace wren::platform {
namespace {

void PutLe(QByteArray& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 0.1 s, 8 kHz, 16-bit mono tone as a RIFF WAVE file.
QByteArray SmallWav() {
  const std::uint32_t rate = 8000, samples = 800;
  QByteArray data;
  for (std::uint32_t i = 0; i < samples; ++i) {
    auto v = static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265 * 440 * i / rate));
    PutLe(data, static_cast<std::uint16_t>(v), 2);
  }
  QByteArray wav("RIFF");
  PutLe(wav, 36 + static_cast<std::uint32_t>(data.size()), 4);
  wav.append("WAVEfmt ");
  PutLe(wav, 16, 4);  // fmt chunk size
  PutLe(wav, 1, 2);   // PCM
  PutLe(wav, 1, 2);   // mono
  PutLe(wav, rate, 4);
  PutLe(wav, rate * 2, 4);  // bytes per second
  PutLe(wav, 2, 2);         // block align
  PutLe(wav, 16, 2);        // bits per sample
  wav.append("data");
  PutLe(wav, static_cast<std::uint32_t>(data.size()), 4);
  wav.append(data);
  return wav;
}

TEST(QtSoundOutput, APlayerWithoutAnOpenWindowOpensNothing) {
  QtSoundOutput out;
  SoundPlayer player(out);
  player.Play("/nowhere.wav");
  EXPECT_FALSE(player.HasPlayback());
  EXPECT_FALSE(out.IsPlaying(1));
}

TEST(QtSoundOutput, MissingFilePlaysSilentlyAndClosesCleanly) {
  QtSoundOutput out;
  auto p = out.Open("/nonexistent-folder/missing.wav");
  ASSERT_NE(p, 0u);
  out.PlayFromStart(p);
  QTest::qWait(200);  // let the backend report its error
  out.Stop(p);
  out.Close(p);
  EXPECT_FALSE(out.IsPlaying(p));
  out.Stop(p);  // a closed playback is forgotten: no effect
}

TEST(QtSoundOutput, SmallWavThroughThePlayerCutsOffAndCloses) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString wavPath = dir.filePath("beep.wav");
  {
    QFile file(wavPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(SmallWav());
  }
  QtSoundOutput out;
  {
    SoundPlayer player(out);
    player.SetWindowOpen(true);
    player.Play(wavPath.toStdString());
    EXPECT_TRUE(player.HasPlayback());
    QTest::qWait(100);
    player.Play(wavPath.toStdString());  // cuts the first one off
    QTest::qWait(100);
    player.Stop();
    player.Play("/nonexistent-folder/missing.mp3");
    QTest::qWait(100);
  }
  // The player closed its playback: nothing is left playing.
  for (SoundOutput::Playback id = 1; id <= 3; ++id) EXPECT_FALSE(out.IsPlaying(id));
}

// Run only by a second test entry, with the media backend's plugins hidden: the
// adapter must make no player (which could crash such a backend) and the
// player must stay silent.
TEST(QtSoundOutputWithoutDecoders, DISABLED_GivesNoPlaybackAndKeepsThePlayerSilent) {
  QtSoundOutput out;
  EXPECT_EQ(out.Open("/any.wav"), 0u);
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/any.wav");
  EXPECT_FALSE(player.HasPlayback());
  player.Stop();
}

}  // namespace
}  // namespace wren::platform
