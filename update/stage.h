#pragma once

// Download, proof and unpacking of an offered update, up to a staged bundle beside ours.

#include "update/https_get.h"
#include "update/manifest.h"

#include <string>

// Returns the page's sentence for the first refusal, or empty with stagedBundle set. Nothing
// of the installed bundle changes here; every folder made on the way is removed on refusal.
std::string DownloadAndStageUpdate(const UpdateCore::UpdateManifestInfo& manifest,
                                   const UpdateProgress& progress, std::string& stagedBundle);

// The bundle's "version=" of bundle.ini, or "identifier=" with key "identifier".
std::string ReadBundleValue(const std::string& bundle, const std::string& key);
