#include "download/download_job.h"

namespace kelvane {

// The console user's hive is not looked up yet: no settings root.
int32_t ResolveUserSettingsKey(DownloadJob&) { return 0; }

void ApplyBrowserSettings(DownloadJob&) {}

void RaiseConnectionLimit(DownloadJob&) {}

}  // namespace kelvane
