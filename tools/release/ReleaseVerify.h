// release-tool verify: reads a published release the way a client with the
// publisher's key would, and reports every problem found.
#pragma once

#include "engine/PublisherKeys.h"

#include <string>

// `source` is a folder or an http(s) base URL (ending in '/' or not). Prints one
// line per problem; true when there is none.
bool VerifyRelease(const std::string& source, const PublicKey& key);

// The bytes of `name` under `source` (a folder or a base URL); false when it
// cannot be had.
bool FetchReleaseFile(const std::string& source, const std::string& name, std::string& bytes);
