// Helpers shared by the download tests: test data, local files, a window that
// records progress reports, and waiting while dispatching messages.
#pragma once

#include "engine/HttpDownload.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// `size` bytes that differ at every 4-byte position and between seeds, so a
// misplaced or repeated range shows up in a comparison.
std::string PatternBytes(size_t size, uint32_t seed);

// The whole local file; false when it does not exist.
bool ReadBytes(const std::string& path, std::string* bytes);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
uint64_t FileSize(const std::string& path);

// An empty folder for the running test's local files (ends in a backslash).
std::string FreshOutputFolder();

// The running test's name, to keep served file names apart between tests.
std::string CurrentTestName();

// A hidden top-level window that records every progress report it receives
// (messages WM_USER+100 to WM_USER+199) by message, on the thread that made it.
class ProgressWindow {
public:
    ProgressWindow();
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Handle() const { return window; }
    const std::vector<DownloadProgress>& Reports(UINT message) { return reports[message]; }
    // Called after each report is recorded, inside the handler.
    std::function<void(UINT message, const DownloadProgress&)> onReport;

private:
    static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window = nullptr;
    std::map<UINT, std::vector<DownloadProgress>> reports;
};

// Waits for every handle while dispatching this thread's messages; false when
// `timeoutMs` passes first.
bool WaitDispatching(const std::vector<HANDLE>& handles, DWORD timeoutMs);

// Milliseconds on a monotonic clock.
double NowMs();
