#include "engine/FileBytes.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FileBytes, ReadsPiecesAndAFileCutShortMeanwhileIsAnError) {
    TempFolder folder;
    std::vector<unsigned char> bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 13);
    const std::string path = folder.Write("Corvane.dll", bytes);
    FileBytes file;
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_EQ(file.Size(), bytes.size());
    std::vector<unsigned char> piece(30000);
    ASSERT_TRUE(file.Read(70000, piece.data(), piece.size()));
    EXPECT_EQ(std::memcmp(piece.data(), bytes.data() + 70000, piece.size()), 0);
    EXPECT_FALSE(file.Read(70001, piece.data(), piece.size())); // past the end

    // Another writer may cut the file short while it is open: what is gone
    // cannot be read, and that is an error, not a piece of zeros.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    LARGE_INTEGER half;
    half.QuadPart = 50000;
    ASSERT_TRUE(SetFilePointerEx(writer, half, nullptr, FILE_BEGIN) && SetEndOfFile(writer));
    CloseHandle(writer);
    EXPECT_FALSE(file.Read(40000, piece.data(), piece.size()));
    EXPECT_TRUE(file.Read(0, piece.data(), piece.size()));
}

TEST(FileBytes, EmptyFilesOpenAndNonFilesDoNot) {
    TempFolder folder;
    FileBytes file;
    ASSERT_TRUE(file.Open(folder.Write("empty.dll", {}).c_str()));
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Open("NUL"));
    EXPECT_FALSE(file.Open(folder.path.c_str()));
    EXPECT_FALSE(file.Open((folder.path + "absent.dll").c_str()));
    EXPECT_EQ(file.Size(), 0u);
    unsigned char byte;
    EXPECT_FALSE(file.Read(0, &byte, 1));
}
