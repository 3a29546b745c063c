#include "core/update/UpdateCheck.h"

#include "core/datafile/XmlDataFile.h"

namespace wren {

std::string ManifestUrl(const platform::SettingsStore* settings) {
  if (settings != nullptr) {
    std::string url = settings->ReadText(kUpdateUrlSection, kUpdateUrlKey, "");
    if (!url.empty()) return url;
  }
  return std::string(kManifestUrl);
}

UpdateCheckResult CheckForUpdates(platform::HttpClient& http, const std::string& url,
                                  const ProgramVersion& own) {
  UpdateCheckResult result;
  XmlDataFile file;
  std::string error;
  if (!file.FetchUrl(url, http, error)) {
    result.outcome = UpdateOutcome::Failed;
    result.message = std::string(kConnectionFailedText) + error;
    return result;
  }
  // A manifest without a readable header keeps the defaults for the parts
  // it lacks, so it never announces a newer version by accident.
  ProgramVersion announced;
  std::string created;
  file.ReadHeader(announced, created);
  if (own.IsOlderThan(announced)) {
    result.outcome = UpdateOutcome::NewVersion;
    result.manifestText = file.GetDocumentText();
    return result;
  }
  result.outcome = UpdateOutcome::NoNewVersion;
  result.message = std::string(kNoNewVersionText);
  return result;
}

std::vector<VersionRow> BuildVersionRows(std::string_view manifestText) {
  std::vector<VersionRow> rows;
  XmlDataFile file;
  file.SetText(manifestText);
  ProgramVersion version;
  std::string created;
  file.ReadHeader(version, created);
  rows.push_back({"Product", kProductImage, "Wrenlocator " + version.ToString()});
  rows.push_back({"Date", kDetailImage, created});
  // ReadHeader leaves the root as the current element.
  if (file.FindChildElement("update")) {
    std::string type = file.GetChildAttribute("type");
    std::string comment = file.GetChildAttribute("comment");
    if (!type.empty()) rows.push_back({"Type", kDetailImage, type});
    if (!comment.empty()) rows.push_back({"Description", kDetailImage, comment});
    if (file.EnterElement()) {
      while (file.FindChildElement("info"))
        rows.push_back(
            {file.GetChildAttribute("action"), kDetailImage, file.GetChildAttribute("name")});
    }
  }
  return rows;
}

}  // namespace wren
