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

// The result a download thread reports when the transfer succeeded but the
// file is not the one the digest list describes (for example a partial file
// resumed after the server's copy changed). The file is deleted, so that the
// next attempt fetches it whole.
constexpr unsigned kResultDigestMismatch = 11;
