#pragma once
// The update check: fetch the version manifest, compare the version it
// announces with the program's own, and build the rows the new-version
// dialog lists. No window here; the dialog and the command line show the
// outcome in their own way.

#include <string>
#include <string_view>
#include <vector>

#include "ports/HttpClient.h"
#include "ports/SettingsStore.h"
#include "base/Product.h"
#include "base/ProgramVersion.h"

namespace wren {

// The maker's manifest and the installer Download opens.
inline constexpr std::string_view kManifestUrl = product::kManifestUrl;
inline constexpr std::string_view kInstallerUrl = product::kInstallerUrl;

// A mirror may be named in the settings ("Settings", "UpdateUrl").
inline constexpr std::string_view kUpdateUrlSection = "Settings";
inline constexpr std::string_view kUpdateUrlKey = "UpdateUrl";

// The texts the check shows.
inline constexpr std::string_view kConnectionFailedText = "Internet Connection Failed...";
inline constexpr std::string_view kNoNewVersionText = "There are no new versions available.";
inline constexpr std::string_view kNewVersionTitle = "New Version Available!";
inline constexpr std::string_view kVersionInfoTitle = "Version Information";

// The image of a row, as indexes into the device image strip.
inline constexpr int kProductImage = 33;
inline constexpr int kDetailImage = 34;

enum class UpdateOutcome {
  NoNewVersion,
  NewVersion,
  Failed,
};

struct UpdateCheckResult {
  UpdateOutcome outcome = UpdateOutcome::Failed;
  // The message box text for NoNewVersion and Failed.
  std::string message;
  // The manifest as fetched, for the dialog (NewVersion).
  std::string manifestText;
};

struct VersionRow {
  std::string label;  // first column
  int image = kDetailImage;
  std::string text;  // second column
};

// The manifest address: the settings' override when present and not
// empty, otherwise the maker's.
std::string ManifestUrl(const platform::SettingsStore* settings);

// The whole check against `url`.
UpdateCheckResult CheckForUpdates(platform::HttpClient& http, const std::string& url,
                                  const ProgramVersion& own = ProgramVersion());

// The rows of the new-version dialog for a manifest text: Product and
// Date, then Type and Description when given, then one row per info
// element of the first update element.
std::vector<VersionRow> BuildVersionRows(std::string_view manifestText);

}  // namespace wren
