#pragma once
// Option reading shared by every form of the command line.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

enum class OptionValue {
  NotThisOption,  // args[i] is some other word
  Read,           // `into` holds the value; `i` is on the last word used
  Missing,        // the option ends the line; `error` says so
};

// "--name value" or "--name=value" at args[i].
OptionValue ReadOptionValue(const std::vector<std::string>& args, std::size_t& i,
                            std::string_view option, std::string& into, std::string& error);

// "bluez", "sim" or "sim:FILE".
bool IsStackChoice(std::string_view choice);

enum class CommonOption { NotCommon, Taken, Bad };

// --stack and --data-dir, which every form takes. Bad sets `error`.
CommonOption TakeCommonOption(const std::vector<std::string>& args, std::size_t& i,
                              std::string& stack, std::string& dataDir, std::string& error);

}  // namespace wren
