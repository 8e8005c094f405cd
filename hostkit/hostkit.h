/* The host kit: what a host application calls to run the updater.
 *
 * Plain C, for C and C++ hosts built with any Windows compiler. Every function
 * returns a hostkit_result (below) and never shows anything. Link the static
 * library (libhostkit.a) or the DLL (hostkit.dll) through its import library;
 * a host using the DLL defines HOSTKIT_DLL before including this header.
 *
 * A typical host:
 *   at start      hostkit_recover(NULL); hostkit_apply_stage(NULL, &report);
 *   on a menu     hostkit_open(&kit) once, then hostkit_start(kit, &launch)
 *   in its loop   wait on hostkit_exit_event(kit), or hostkit_on_exit_request
 *   on quit       hostkit_close_updater(kit, 5000); hostkit_release(kit)
 */
#ifndef HOSTKIT_H
#define HOSTKIT_H

#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HOSTKIT_CALL __stdcall
#if defined(HOSTKIT_BUILDING_DLL)
#define HOSTKIT_API __declspec(dllexport)
#elif defined(HOSTKIT_DLL)
#define HOSTKIT_API __declspec(dllimport)
#else
#define HOSTKIT_API
#endif

typedef int32_t hostkit_result;

/* Success, and what was done. */
#define HOSTKIT_OK 0          /* done as asked */
#define HOSTKIT_NOTHING 1     /* nothing to do: no stage, no interrupted install */
#define HOSTKIT_ROLLED_BACK 2 /* an interrupted install was undone (old files kept) */
#define HOSTKIT_DISCARDED 3   /* an unreadable install journal was removed; no file touched */
/* Failures. Nothing was changed unless the line says otherwise. */
#define HOSTKIT_BAD_ARGUMENT (-1)  /* a null pointer, an unknown mode or size */
#define HOSTKIT_URL_TOO_LONG (-2)  /* the base URL has more than 259 bytes: refused, never cut */
#define HOSTKIT_BUSY (-3)          /* an updater is at work for this program folder */
#define HOSTKIT_NO_UPDATER (-4)    /* Updater.exe could not be started; see GetLastError */
#define HOSTKIT_SYSTEM (-5)        /* a system object could not be made; see GetLastError */
#define HOSTKIT_STAGE_REFUSED (-6) /* the silent stage did not check out; it was removed */
#define HOSTKIT_STAGE_KEPT (-7)    /* a file could not be replaced (in use); the stage stays */
#define HOSTKIT_UNFINISHED (-8)    /* an install could not be settled; retried next time */
#define HOSTKIT_TIMEOUT (-9)       /* the updater did not end in the time given */
#define HOSTKIT_NOT_RUNNING (-10)  /* no updater of this session is running */

/* Launch modes. */
#define HOSTKIT_MODE_OPTIONAL 1  /* the user may decline; the host keeps running */
#define HOSTKIT_MODE_MANDATORY 2 /* declining means the host exits too */
#define HOSTKIT_MODE_SILENT 3    /* no window: stage the update for the next start */

/* What hostkit_start does when an updater already runs for the folder. */
#define HOSTKIT_IF_RUNNING_REPORT 0 /* return HOSTKIT_BUSY */
#define HOSTKIT_IF_RUNNING_CLOSE 1  /* ask it to close, wait, then start */

typedef struct hostkit_session hostkit_session;

typedef struct hostkit_launch {
    uint32_t size;          /* sizeof(hostkit_launch) */
    int32_t mode;           /* HOSTKIT_MODE_... */
    uint32_t host_window;   /* the host's main window, as a 32-bit value */
    const char* base_url;   /* ends with '/'; at most 259 bytes (ANSI code page) */
    uint32_t if_running;    /* HOSTKIT_IF_RUNNING_... */
    uint32_t close_wait_ms; /* with HOSTKIT_IF_RUNNING_CLOSE: how long to wait (0: 10000) */
    const char* updater;    /* NULL: "Updater.exe" in the program folder */
} hostkit_launch;

typedef struct hostkit_stage_report {
    uint32_t size;    /* sizeof(hostkit_stage_report) */
    int32_t files;    /* staged files installed, or found when not installed */
    int32_t hashed;   /* 1 when the marker named each file with its SHA-256 */
    char reason[128]; /* why a stage was refused or kept; empty otherwise */
} hostkit_stage_report;

/* Called once, on a thread of the kit, when the updater asks the host to exit.
 * Post a message to your window from here; do not block. */
typedef void(HOSTKIT_CALL* hostkit_exit_callback)(void* context);

/* The program folder is the folder of the host's executable unless given. */

/* Makes the host's events: "*_ORVAK_EXIT_*" (set by the updater when the host
 * must exit) and "*_UPDATER_EXIT_*" (set by the host to close the updater).
 * One session per host process, kept until the host ends. */
HOSTKIT_API hostkit_result HOSTKIT_CALL hostkit_open(hostkit_session** session);

/* Starts the updater: writes the launch block "@_ORVAK_UPDATE_@" and keeps it
 * while the updater runs, clears both events, starts the updater in the
 * program folder. */
HOSTKIT_API hostkit_result HOSTKIT_CALL hostkit_start(hostkit_session* session,
                                                      const hostkit_launch* launch);

/* A manual-reset event, set when the updater asks the host to exit (Finish,
 * or "exit software" in the mandatory mode). Owned by the session. */
HOSTKIT_API HANDLE HOSTKIT_CALL hostkit_exit_event(hostkit_session* session);

/* The running updater's process (for waiting on it), or NULL. Owned by the
 * session. */
HOSTKIT_API HANDLE HOSTKIT_CALL hostkit_updater_process(hostkit_session* session);

/* Calls `callback` once when the exit event is set (NULL: stops watching). */
HOSTKIT_API hostkit_result HOSTKIT_CALL hostkit_on_exit_request(hostkit_session* session,
                                                                hostkit_exit_callback callback,
                                                                void* context);

/* Asks the session's updater to close ("*_UPDATER_EXIT_*") and waits up to
 * `wait_ms` for it to end: HOSTKIT_OK, HOSTKIT_TIMEOUT or HOSTKIT_NOT_RUNNING. */
HOSTKIT_API hostkit_result HOSTKIT_CALL hostkit_close_updater(hostkit_session* session,
                                                              uint32_t wait_ms);

/* Ends the session: stops the callback, closes the events and the block. A
 * running updater is not closed (see hostkit_close_updater). */
HOSTKIT_API void HOSTKIT_CALL hostkit_release(hostkit_session* session);

/* At the host's start, before anything of the folder is loaded: installs a
 * complete silent stage ("UpgradeBackup\" with "qim_s.backup", Key=1) all or
 * nothing. HOSTKIT_OK (installed), HOSTKIT_NOTHING, HOSTKIT_STAGE_REFUSED,
 * HOSTKIT_STAGE_KEPT, HOSTKIT_UNFINISHED, HOSTKIT_BUSY. `report` may be NULL. */
HOSTKIT_API hostkit_result HOSTKIT_CALL hostkit_apply_stage(const char* program_folder,
                                                            hostkit_stage_report* report);

/* At the host's start: finishes or undoes an install that a kill or a power
 * loss cut short. HOSTKIT_NOTHING, HOSTKIT_OK (finished), HOSTKIT_ROLLED_BACK,
 * HOSTKIT_DISCARDED, HOSTKIT_UNFINISHED, HOSTKIT_BUSY. */
HOSTKIT_API hostkit_result HOSTKIT_CALL hostkit_recover(const char* program_folder);

/* A short English name of a result, e.g. "HOSTKIT_BUSY". */
HOSTKIT_API const char* HOSTKIT_CALL hostkit_result_name(hostkit_result result);

#ifdef __cplusplus
}
#endif

#endif /* HOSTKIT_H */
