#include "core/monitor/SoundPlayer.h"

#include "Fakes.h"

#include <gtest/gtest.h>

namespace wren {
namespace {

using Calls = std::vector<std::string>;

TEST(SoundPlayer, PlayBeforeTheWindowIsOpenDoesNothing) {
  test::FakeSoundOutput out;
  SoundPlayer player(out);
  player.Play("/s/a.wav");
  EXPECT_TRUE(out.calls.empty());
  EXPECT_FALSE(player.HasPlayback());
}

TEST(SoundPlayer, PlayOpensThePlaybackAndStartsIt) {
  test::FakeSoundOutput out;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/s/a.wav");
  EXPECT_EQ(out.calls, (Calls{"open /s/a.wav", "play 1"}));
  EXPECT_TRUE(player.HasPlayback());
}

TEST(SoundPlayer, APlaybackAlreadyPlayingIsNotRestarted) {
  test::FakeSoundOutput out;
  out.startsPlaying = true;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/s/a.wav");
  EXPECT_EQ(out.calls, (Calls{"open /s/a.wav"}));
}

TEST(SoundPlayer, ASecondSoundCutsOffTheFirst) {
  test::FakeSoundOutput out;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/s/a.wav");
  player.Play("/s/b.mp3");
  EXPECT_EQ(out.calls, (Calls{"open /s/a.wav", "play 1", "close 1", "open /s/b.mp3", "play 2"}));
}

TEST(SoundPlayer, StopWithoutPlaybackDoesNothing) {
  test::FakeSoundOutput out;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Stop();
  EXPECT_TRUE(out.calls.empty());
}

TEST(SoundPlayer, StopKeepsThePlaybackUntilTheNextPlay) {
  test::FakeSoundOutput out;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/s/a.wav");
  player.Stop();
  EXPECT_TRUE(player.HasPlayback());
  player.Play("/s/a.wav");
  EXPECT_EQ(out.calls,
            (Calls{"open /s/a.wav", "play 1", "stop 1", "close 1", "open /s/a.wav", "play 2"}));
}

TEST(SoundPlayer, DestructionClosesTheLastPlayback) {
  test::FakeSoundOutput out;
  {
    SoundPlayer player(out);
    player.SetWindowOpen(true);
    player.Play("/s/a.wav");
  }
  EXPECT_EQ(out.calls.back(), "close 1");
  test::FakeSoundOutput idle;
  { SoundPlayer player(idle); }
  EXPECT_TRUE(idle.calls.empty());
}

TEST(SoundPlayer, AFileThatCannotBeOpenedFailsSilently) {
  test::FakeSoundOutput out;
  out.failOpen = true;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/missing.wav");
  EXPECT_FALSE(player.HasPlayback());
  player.Stop();
  EXPECT_EQ(out.calls, (Calls{"open /missing.wav"}));
}

TEST(SoundPlayer, AClosedWindowStopsNewSoundsButKeepsTheCurrentOne) {
  test::FakeSoundOutput out;
  SoundPlayer player(out);
  player.SetWindowOpen(true);
  player.Play("/s/a.wav");
  player.SetWindowOpen(false);
  player.Play("/s/b.wav");
  EXPECT_EQ(out.calls, (Calls{"open /s/a.wav", "play 1"}));
  EXPECT_TRUE(player.HasPlayback());
}

}  // namespace
}  // namespace wren
