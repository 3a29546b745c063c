#include "program/Options.h"

namespace wren {

OptionValue ReadOptionValue(const std::vector<std::string>& args, std::size_t& i,
                            std::string_view option, std::string& into, std::string& error) {
  std::string_view word = args[i];
  if (word.size() > option.size() && word.substr(0, option.size()) == option &&
      word[option.size()] == '=') {
    into = std::string(word.substr(option.size() + 1));
    return OptionValue::Read;
  }
  if (word != option) return OptionValue::NotThisOption;
  if (i + 1 >= args.size()) {
    error = std::string(option) + " needs a value";
    return OptionValue::Missing;
  }
  into = args[++i];
  return OptionValue::Read;
}

bool IsStackChoice(std::string_view choice) {
  return choice == "bluez" || choice == "sim" ||
         (choice.substr(0, 4) == "sim:" && choice.size() > 4);
}

CommonOption TakeCommonOption(const std::vector<std::string>& args, std::size_t& i,
                              std::string& stack, std::string& dataDir, std::string& error) {
  std::string value;
  switch (ReadOptionValue(args, i, "--stack", value, error)) {
    case OptionValue::Missing:
      return CommonOption::Bad;
    case OptionValue::Read:
      if (!IsStackChoice(value)) {
        error = "--stack takes bluez, sim or sim:FILE, not \"" + value + "\"";
        return CommonOption::Bad;
      }
      stack = value;
      return CommonOption::Taken;
    case OptionValue::NotThisOption:
      break;
  }
  switch (ReadOptionValue(args, i, "--data-dir", value, error)) {
    case OptionValue::Missing:
      return CommonOption::Bad;
    case OptionValue::Read:
      if (value.empty()) {
        error = "--data-dir needs a folder";
        return CommonOption::Bad;
      }
      dataDir = value;
      return CommonOption::Taken;
    case OptionValue::NotThisOption:
      break;
  }
  return CommonOption::NotCommon;
}

}  // namespace wren
