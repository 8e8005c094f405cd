// A small host application that updates itself with the updater, built only on
// the host kit: hostkit.h and either the static library (libhostkit.a) or the
// DLL (hostkit.dll through its import library; compile with -DHOSTKIT_DLL).
// Copy it as "Tevrane.exe" into a program folder beside Updater.exe (and
// hostkit.dll when it was linked with the DLL).
//
//   Tevrane.exe [--url BASE_URL] [--check MODE] [--close-after MS] [--quit-with-updater]
//
// At its start it finishes or undoes an interrupted install and applies a
// silent stage, and shows what the kit did. The "Update" menu starts the
// updater in each mode. The base URL given once is kept in "SampleHost.ini"
// beside the program, so the host the updater restarts still knows it.
// For scripts: --check starts the updater in MODE at once, --close-after
// closes the window that long after the start, --quit-with-updater closes it
// when the updater it started has ended. It keeps a log, "host.log", of
// "<milliseconds since start> <event> [details]" lines.
#include "hostkit.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define IDM_OPTIONAL 101
#define IDM_MANDATORY 102
#define IDM_SILENT 103
#define IDM_CLOSE_UPDATER 104
#define IDM_EXIT 105
#define WM_KIT_EXIT_REQUEST (WM_APP + 1)
#define TIMER_CLOSE 1
#define TIMER_UPDATER 2

static hostkit_session* kit;
static HWND mainWindow, textBox;
static char folder[MAX_PATH], baseUrl[260];
static BOOL exitRequested, quitWithUpdater, updaterReported = TRUE;
static DWORD startTicks;

static void Log(const char* format, ...) {
    char line[600], path[MAX_PATH + 32];
    va_list args;
    va_start(args, format);
    _vsnprintf(line, sizeof line - 1, format, args);
    line[sizeof line - 1] = '\0';
    va_end(args);
    snprintf(path, sizeof path, "%shost.log", folder);
    FILE* log = fopen(path, "ab");
    if (log) {
        fprintf(log, "%lu %s\r\n", (unsigned long)(GetTickCount() - startTicks), line);
        fclose(log);
    }
}

static void Show(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    _vsnprintf(line, sizeof line - 1, format, args);
    line[sizeof line - 1] = '\0';
    va_end(args);
    int end = GetWindowTextLengthA(textBox);
    SendMessageA(textBox, EM_SETSEL, end, end);
    SendMessageA(textBox, EM_REPLACESEL, FALSE, (LPARAM)line);
    SendMessageA(textBox, EM_REPLACESEL, FALSE, (LPARAM) "\r\n");
    Log("say %s", line);
}

static void StartOfHost(void) {
    hostkit_result r = hostkit_recover(NULL);
    Log("recover result=%s", hostkit_result_name(r));
    if (r == HOSTKIT_NOTHING)
        Show("No interrupted installation.");
    else
        Show("Interrupted installation: %s.", hostkit_result_name(r));
    hostkit_stage_report report = {sizeof report, 0, 0, {0}};
    r = hostkit_apply_stage(NULL, &report);
    Log("stage result=%s files=%d hashed=%d reason=%s", hostkit_result_name(r), (int)report.files,
        (int)report.hashed, report.reason);
    if (r == HOSTKIT_OK)
        Show("Silent update applied: %d file(s) installed%s.", (int)report.files,
             report.hashed ? ", each checked by SHA-256" : "");
    else if (r == HOSTKIT_NOTHING)
        Show("No silent update waiting.");
    else
        Show("Silent update not applied: %s (%s).", hostkit_result_name(r), report.reason);
}

static void CALLBACK OnExitRequest(void* context) {
    PostMessageA((HWND)context, WM_KIT_EXIT_REQUEST, 0, 0);
}

static void CheckForUpdate(int32_t mode) {
    if (!baseUrl[0]) {
        Show("No update address: start once with --url.");
        return;
    }
    hostkit_launch launch = {
        sizeof launch, mode, (uint32_t)(uintptr_t)mainWindow, baseUrl, HOSTKIT_IF_RUNNING_CLOSE,
        5000,          NULL};
    hostkit_result r = hostkit_start(kit, &launch);
    Show("Updater started in mode %d: %s.", (int)mode, hostkit_result_name(r));
    if (r == HOSTKIT_OK) {
        Log("updater-started pid=%lu", GetProcessId(hostkit_updater_process(kit)));
        updaterReported = FALSE;
        SetTimer(mainWindow, TIMER_UPDATER, 250, NULL);
    }
}

// Reports the end of the updater this host started (polled by a timer).
static void CheckUpdater(HWND window) {
    HANDLE process = hostkit_updater_process(kit);
    DWORD code = 0;
    if (updaterReported || !process || WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
        return;
    updaterReported = TRUE;
    KillTimer(window, TIMER_UPDATER);
    GetExitCodeProcess(process, &code);
    Log("updater-exited code=%lu", (unsigned long)code);
    if (quitWithUpdater && !exitRequested)
        PostMessageA(window, WM_CLOSE, 0, 0);
}

static void OnCommand(HWND window, int id) {
    switch (id) {
    case IDM_OPTIONAL:
    case IDM_MANDATORY:
    case IDM_SILENT:
        CheckForUpdate(id - IDM_OPTIONAL + HOSTKIT_MODE_OPTIONAL);
        break;
    case IDM_CLOSE_UPDATER:
        Show("Closing the updater: %s.", hostkit_result_name(hostkit_close_updater(kit, 5000)));
        break;
    case IDM_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    }
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        MoveWindow(textBox, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == TIMER_UPDATER) {
            CheckUpdater(window);
            return 0;
        }
        KillTimer(window, TIMER_CLOSE);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_KIT_EXIT_REQUEST:
        // The updater installs once we are gone: end without closing it.
        exitRequested = TRUE;
        Log("exit-event-set");
        Show("The updater asked this program to exit.");
        DestroyWindow(window);
        return 0;
    case WM_CLOSE:
        if (!exitRequested && hostkit_updater_process(kit))
            hostkit_close_updater(kit, 5000);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        Log("host-exit");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HMENU MakeMenu(void) {
    HMENU update = CreatePopupMenu();
    AppendMenuA(update, MF_STRING, IDM_OPTIONAL, "Check for update (&optional)");
    AppendMenuA(update, MF_STRING, IDM_MANDATORY, "Check for update (&mandatory)");
    AppendMenuA(update, MF_STRING, IDM_SILENT, "Update &silently (applied at next start)");
    AppendMenuA(update, MF_STRING, IDM_CLOSE_UPDATER, "&Close the updater");
    AppendMenuA(update, MF_SEPARATOR, 0, NULL);
    AppendMenuA(update, MF_STRING, IDM_EXIT, "E&xit");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)update, "&Update");
    return bar;
}

static BOOL MakeWindow(HINSTANCE instance) {
    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TevraneSampleHost";
    RegisterClassA(&windowClass);
    mainWindow =
        CreateWindowExA(0, windowClass.lpszClassName, "Tevrane (sample host)", WS_OVERLAPPEDWINDOW,
                        40, 40, 560, 300, NULL, MakeMenu(), instance, NULL);
    textBox = CreateWindowExA(0, "EDIT", "",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0,
                              0, 0, mainWindow, NULL, instance, NULL);
    SendMessageA(textBox, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), TRUE);
    return mainWindow && textBox;
}

// Reads the options; a new --url is kept for later starts.
static void ReadSettings(int* checkMode, UINT* closeAfter) {
    char ini[MAX_PATH + 32];
    snprintf(ini, sizeof ini, "%sSampleHost.ini", folder);
    GetPrivateProfileStringA("Update", "BaseUrl", "", baseUrl, sizeof baseUrl, ini);
    for (int i = 1; i + 1 < __argc; ++i) {
        if (strcmp(__argv[i], "--url") == 0) {
            snprintf(baseUrl, sizeof baseUrl, "%s", __argv[++i]);
            WritePrivateProfileStringA("Update", "BaseUrl", baseUrl, ini);
        } else if (strcmp(__argv[i], "--check") == 0) {
            *checkMode = atoi(__argv[++i]);
        } else if (strcmp(__argv[i], "--close-after") == 0) {
            *closeAfter = (UINT)strtoul(__argv[++i], NULL, 10);
        }
    }
    for (int i = 1; i < __argc; ++i)
        if (strcmp(__argv[i], "--quit-with-updater") == 0)
            quitWithUpdater = TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    startTicks = GetTickCount();
    DWORD length = GetModuleFileNameA(NULL, folder, MAX_PATH);
    char* slash = strrchr(folder, '\\');
    if (length == 0 || !slash || !MakeWindow(instance))
        return 1;
    slash[1] = '\0';
    int checkMode = 0;
    UINT closeAfter = 0;
    ReadSettings(&checkMode, &closeAfter);
    if (__argc <= 1) {
        char cwd[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH - 1, cwd);
        Log("restarted cwd=%s", cwd); /* as the updater starts it after an update */
    }
    ShowWindow(mainWindow, show);
    StartOfHost();
    hostkit_result opened = hostkit_open(&kit);
    if (opened != HOSTKIT_OK) {
        Show("The update events cannot be made: %s.", hostkit_result_name(opened));
        return 1;
    }
    hostkit_on_exit_request(kit, OnExitRequest, mainWindow);
    if (checkMode)
        CheckForUpdate(checkMode);
    if (closeAfter)
        SetTimer(mainWindow, TIMER_CLOSE, closeAfter, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    hostkit_release(kit);
    return 0;
}
