// Finding the update dialog of a running updater from another process of the
// same Wine session, and reading its controls only through window messages,
// as any other program could.
#pragma once

#include <windows.h>

#include <string>

namespace probe {

constexpr int kUpgrade = 1000;
constexpr int kFinish = 1002;
constexpr int kProgress = 1008;
constexpr int kStatus = 1011;

// The top-level window titled "Updater" of a program in the folder named by the
// environment variable DIALOG_PROBE_FOLDER (any program when it is not set):
// test programs running beside the updater make windows of that title too.
HWND FindInFolder();
HWND WaitForVisibleInFolder(DWORD waitMs);
// The dialog (class "#32770" with a status control) of process `processId`.
HWND FindOfProcess(DWORD processId);

// The control's text in code page 936, however long; empty when the dialog
// does not answer within `boundMs`.
std::string TextOf(HWND control, UINT boundMs);
// The progress bar's position, or -1 when it does not answer.
int Position(HWND dialog);
bool Shown(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
// Posts a click of control `id`, as the control itself would send it.
bool PostClick(HWND dialog, int id);

std::string Hex(const std::string& bytes); // "-" for no bytes
bool WriteBytes(const std::string& path, const std::string& bytes);

} // namespace probe
