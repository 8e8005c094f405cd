// File-system steps for the files the updater writes itself (staged modules,
// the silent marker, install copies and backups, the install journal): they
// never write through a link (a junction or a symbolic link, that is a reparse
// point), and what they report as written has reached the disk.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <string_view>

// Whether something exists at `path` that is a reparse point.
bool IsReparsePoint(const char* path);

// The decision behind CheckWriteTarget, on the attributes of the folder and of
// the target (INVALID_FILE_ATTRIBUTES when nothing is there): the folder must
// be a real folder, and the target absent or a plain file; neither a link.
bool IsSafeWriteTarget(DWORD folderAttributes, DWORD targetAttributes);

// Whether `target` may be written in `folder` (ending in a backslash).
bool CheckWriteTarget(const char* folder, const char* target);

// Creates `path` as a new file (never opening anything already there, a link
// included), writes `bytes`, and flushes it to the disk. On failure nothing
// new is left at `path`.
bool WriteNewFile(const char* path, std::string_view bytes);

// Copies `source` to `destination`, which is created new as in WriteNewFile,
// and flushes the copy to the disk. On failure no copy is left.
bool CopyToNewFile(const char* source, const char* destination);

// Flushes an existing plain file to the disk; false when it cannot be opened
// (missing, a link, in use) or flushed.
bool FlushFile(const char* path);

// Writes `bytes` to `path` in one step: a new temporary file beside it
// (`path` + ".new~"), flushed, then renamed over `path`. A reader sees the old
// file or the complete new one, never a part.
bool ReplaceWithBytes(const char* path, std::string_view bytes);

// Removes a file that is ours to remove, read-only or not; true when nothing
// is left at `path`.
bool RemoveFile(const char* path);

// Removes everything in `folder` (ending in a backslash) without following a
// link: a link is removed as a link, never the folder it points to. True when
// the folder is empty afterwards (or does not exist).
bool EmptyFolder(const char* folder);

// EmptyFolder, then the folder itself. True when nothing is left.
bool RemoveFolder(const char* folder);
