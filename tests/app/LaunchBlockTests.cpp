#include "engine/LaunchBlock.h"
#include "app/SharedMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<char> Block(int32_t mode, uint32_t window, const std::string& url,
                        bool terminate = true) {
    std::vector<char> b(8 + url.size() + (terminate ? 1 : 0));
    memcpy(b.data(), &mode, 4);
    memcpy(b.data() + 4, &window, 4);
    memcpy(b.data() + 8, url.data(), url.size());
    return b;
}

TEST(ParseLaunchBlock, ReadsTheThreeFields) {
    auto b = Block(2, 0x00010086, "http://127.0.0.1:8080/up/");
    LaunchBlockFields f;
    ASSERT_TRUE(ParseLaunchBlock(b.data(), b.size(), &f));
    EXPECT_EQ(2, f.mode);
    EXPECT_EQ(reinterpret_cast<HWND>(0x00010086), f.hostWindow);
    EXPECT_STREQ("http://127.0.0.1:8080/up/", f.baseUrl);
}

TEST(ParseLaunchBlock, ModesAreTakenAsTheyAre) {
    for (int32_t mode : {0, 1, 2, 3, 4, -1, INT32_MIN}) {
        auto b = Block(mode, 0, "u");
        LaunchBlockFields f;
        ASSERT_TRUE(ParseLaunchBlock(b.data(), b.size(), &f));
        EXPECT_EQ(mode, f.mode);
    }
}

TEST(ParseLaunchBlock, WindowValueIsSignExtended) {
    auto b = Block(1, 0xFFFFFFFEu, "u");
    LaunchBlockFields f;
    ASSERT_TRUE(ParseLaunchBlock(b.data(), b.size(), &f));
    EXPECT_EQ(static_cast<intptr_t>(-2), reinterpret_cast<intptr_t>(f.hostWindow));
}

TEST(ParseLaunchBlock, FewerThanEightBytesIsNoBlock) {
    auto b = Block(1, 2, "");
    LaunchBlockFields f;
    for (size_t size = 0; size < 8; ++size)
        EXPECT_FALSE(ParseLaunchBlock(b.data(), size, &f)) << size;
    EXPECT_TRUE(ParseLaunchBlock(b.data(), 8, &f));
    EXPECT_STREQ("", f.baseUrl);
}

TEST(ParseLaunchBlock, UrlLengthsAroundTheLimit) {
    for (size_t length : {258u, 259u, 260u, 300u, 5000u}) {
        std::string url(length, 'a');
        auto b = Block(1, 0, url);
        LaunchBlockFields f;
        memset(f.baseUrl, 'X', sizeof f.baseUrl);
        ASSERT_TRUE(ParseLaunchBlock(b.data(), b.size(), &f));
        EXPECT_EQ(std::min<size_t>(length, 259), strlen(f.baseUrl)) << length;
    }
}

TEST(ParseLaunchBlock, UnterminatedUrlStopsAtTheEndOfTheView) {
    auto b = Block(1, 0, "http://h/x/", false);
    LaunchBlockFields f;
    ASSERT_TRUE(ParseLaunchBlock(b.data(), b.size(), &f));
    EXPECT_STREQ("http://h/x/", f.baseUrl);
}

TEST(ParseLaunchBlock, CutDoesNotSplitADoubleByteCharacter) {
    // 258 ASCII bytes, then GBK 升 (C9 FD): byte 259 would be a lone lead byte.
    std::string url(258, 'a');
    url += "\xC9\xFD";
    auto b = Block(1, 0, url);
    LaunchBlockFields f;
    ASSERT_TRUE(ParseLaunchBlock(b.data(), b.size(), &f));
    EXPECT_EQ(258u, strlen(f.baseUrl));
}

// A real named mapping of exactly `size` bytes.
struct Mapping {
    explicit Mapping(const std::vector<char>& bytes, const char* name) {
        handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(bytes.size()), name);
        void* view = MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 0);
        memcpy(view, bytes.data(), bytes.size());
        UnmapViewOfFile(view);
    }
    ~Mapping() { CloseHandle(handle); }
    HANDLE handle;
};

TEST(SharedMemory, NoMappingGivesNoView) {
    CSharedMemory memory;
    EXPECT_EQ(nullptr, memory.Open("UpdaterTests.NoSuchMapping"));
    EXPECT_EQ(0u, memory.Size());
}

// The system reports a mapping's size in whole pages (Wine always does); the
// rest of the last page reads as zeros.
TEST(SharedMemory, SizeCoversTheMappingAndNoMore) {
    for (size_t size : {4u, 8u, 100u, 4096u, 5000u}) {
        Mapping m(std::vector<char>(size, 'x'), "UpdaterTests.Sized");
        CSharedMemory memory;
        const char* view = static_cast<const char*>(memory.Open("UpdaterTests.Sized"));
        ASSERT_NE(nullptr, view);
        EXPECT_GE(memory.Size(), size);
        EXPECT_LE(memory.Size(), (size + 4095) / 4096 * 4096);
        for (size_t i = size; i < memory.Size(); ++i)
            ASSERT_EQ(0, view[i]) << i;
    }
}

TEST(SharedMemory, UnterminatedUrlFillingThePageIsCut) {
    {
        // A whole page of URL with no NUL anywhere.
        Mapping m(Block(1, 0, std::string(4096 - 8, 'u'), false), "UpdaterTests.Page");
        CSharedMemory memory;
        const void* view = memory.Open("UpdaterTests.Page");
        LaunchBlockFields f;
        ASSERT_TRUE(ParseLaunchBlock(view, memory.Size(), &f));
        EXPECT_EQ(259u, strlen(f.baseUrl));
    }
}

} // namespace
