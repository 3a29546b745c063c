#pragma once
// Recording stand-ins for the sound output, the messenger and the shell.

#include "ports/MessengerTransport.h"
#include "ports/Shell.h"
#include "ports/SoundOutput.h"

#include <functional>
#include <string>
#include <vector>

namespace wren::test {

class FakeSoundOutput : public platform::SoundOutput {
public:
  // "open <file>", "play <id>", "stop <id>", "close <id>"
  std::vector<std::string> calls;
  bool failOpen = false;
  bool startsPlaying = false;  // a backend that starts on its own
  std::function<void(const std::string&)> onOpen;

  Playback Open(const std::string& file) override {
    if (onOpen) onOpen(file);
    calls.push_back("open " + file);
    if (failOpen) return 0;
    return ++last;
  }
  bool IsPlaying(Playback) const override { return startsPlaying; }
  void PlayFromStart(Playback p) override { calls.push_back("play " + std::to_string(p)); }
  void Stop(Playback p) override { calls.push_back("stop " + std::to_string(p)); }
  void Close(Playback p) override { calls.push_back("close " + std::to_string(p)); }

  Playback last = 0;
};

class FakeMessenger : public platform::MessengerTransport {
public:
  struct Message {
    std::string sender, recipient, block;
  };
  std::vector<Message> sent;
  platform::SendStatus answer = platform::SendStatus::Sent;

  platform::SendStatus Send(std::string_view sender, std::string_view recipient,
                            std::string_view block) override {
    sent.push_back({std::string(sender), std::string(recipient), std::string(block)});
    return answer;
  }
};

class FakeShell : public platform::Shell {
public:
  std::vector<std::string> opened;
  bool OpenPath(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
  bool OpenUrl(const std::string& url) override {
    opened.push_back(url);
    return true;
  }
};

}  // namespace wren::test
