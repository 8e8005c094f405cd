// A fresh folder under the system's temporary folder for one test, removed with
// everything in it when the test ends.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static int counter = 0;
        path = std::string(base) + "digest_test_" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(++counter) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes `bytes` to `name` in the folder and returns the full path.
    std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
        const std::string file = path + name;
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (out) {
            if (!bytes.empty())
                std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
        return file;
    }

    std::string path; // ends in a backslash

private:
    static void RemoveTree(const std::string& dir) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(dir + name + "\\");
                else
                    DeleteFileA((dir + name).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(dir.c_str());
    }
};
