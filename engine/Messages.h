// Window messages between the engine's worker threads and the window that owns
// the update (the update dialog).
#pragma once

#include <windows.h>

// Posted by each module download thread when its transfer has ended:
// wParam = the download result (0 and 1 are success), lParam = the completion
// token the engine gave that worker (CompletionTokens.h). Posted by the version
// check, with its own token, when the digest list could not be fetched or is
// not a digest list, so that the attempt ends as failed. The window hands both
// parameters to CUpdateEngine::OnDownloadDone, which counts only awaited tokens.
constexpr UINT WM_DOWNLOAD_DONE = WM_USER + 100;
// How the attempt's bookkeeping (AttemptBook::Record) learns that the version
// check failed.
constexpr LPARAM kVersionCheckFailed = 1;

// Results the engine itself reports, numbered apart from the download
// component's (engine/HttpDownload.h): 11, and 20 upwards.

// The result a download thread reports when the transfer succeeded but the
// file is not the one the digest list describes (for example a partial file
// resumed after the server's copy changed). The file is deleted, so that the
// next attempt fetches it whole.
constexpr unsigned kResultDigestMismatch = 11;

// The result a download thread reports when its staging folder or target is
// a link (junction, symbolic link) that a write would follow; nothing is
// written. The version check reports it (with kVersionCheckFailed) when the
// silent staging folder cannot be emptied for a new stage.
constexpr unsigned kResultUnsafeStaging = 20;
