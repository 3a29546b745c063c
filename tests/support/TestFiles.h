#pragma once
// Files and folders for tests: a scratch folder that removes itself, whole
// file reads and writes, and the data-file header with its time stamp
// masked.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>

namespace wren::test {

class TempFolder {
public:
  explicit TempFolder(std::string_view tag = "test") {
    std::string pattern = "/tmp/wren-" + std::string(tag) + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make " << pattern;
    m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return m_path; }
  std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }

private:
  std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// The declaration and the root's header attributes up to (not including)
// the end of the root's start tag, as every data file begins; `created`
// reads CREATED (see WithoutCreated).
inline std::string DataFileStart(std::string_view root) {
  return "<?xml version=\"1.0\"?>\r\n<" + std::string(root) +
         " version=\"1.7.4.0\" vendor=\"Pelmark LLC.\" "
         "url=\"http://www.pelmark.example/wrenlocator/"
         "?utm_source=wrenlocator-1740&amp;utm_medium=wrenlocator-1740&amp;"
         "utm_campaign=wrenlocator-1740\" mail=\"support@pelmark.example\" created=\"CREATED\" "
         "comments=\"Wrenlocator Database File\"";
}

// The first created="mm/dd/yyyy hh:mm:ss" stamp replaced by CREATED.
inline std::string WithoutCreated(const std::string& text) {
  static const std::regex created(R"re(created="\d\d/\d\d/\d\d\d\d \d\d:\d\d:\d\d")re");
  return std::regex_replace(text, created, "created=\"CREATED\"",
                            std::regex_constants::format_first_only);
}

}  // namespace wren::test
