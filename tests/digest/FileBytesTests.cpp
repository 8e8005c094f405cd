#include "engine/FileBytes.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FileBytes, HoldsTheWholeFileAndKeepsItFromBeingShortened) {
    TempFolder folder;
    std::vector<unsigned char> bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 13);
    const std::string path = folder.Write("Corvane.dll", bytes);
    {
        FileBytes file;
        ASSERT_TRUE(file.Load(path.c_str()));
        ASSERT_EQ(file.Size(), bytes.size());
        EXPECT_EQ(std::memcmp(file.Data(), bytes.data(), bytes.size()), 0);

        // Another writer may open the file, but not cut it short under our reads.
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(SetEndOfFile(writer));
        CloseHandle(writer);
        EXPECT_EQ(file.Data()[bytes.size() - 1], bytes.back());
    }
    // Released with the object.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetEndOfFile(writer));
    CloseHandle(writer);
}

TEST(FileBytes, EmptyFilesLoadAndNonFilesDoNot) {
    TempFolder folder;
    FileBytes file;
    ASSERT_TRUE(file.Load(folder.Write("empty.dll", {}).c_str()));
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Load("NUL"));
    EXPECT_FALSE(file.Load(folder.path.c_str()));
    EXPECT_FALSE(file.Load((folder.path + "absent.dll").c_str()));
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(file.Data(), nullptr);
}
