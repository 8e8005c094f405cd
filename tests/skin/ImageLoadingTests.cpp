#include "SkinTestIds.h"
#include "SkinTestSupport.h"
#include "res/resource.h"
#include "skin/ImageLoading.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Gdiplus;

namespace {

ARGB PixelOf(const ImageObject& image, int x, int y) {
    ARGB p = 0;
    DllExports::GdipBitmapGetPixel(image.Bitmap(), x, y, &p);
    return p;
}

bool AnyTranslucent(const ImageObject& image) {
    for (UINT y = 0; y < image.Height(); ++y)
        for (UINT x = 0; x < image.Width(); ++x)
            if ((PixelOf(image, static_cast<int>(x), static_cast<int>(y)) >> 24) != 0xFF)
                return true;
    return false;
}

TEST(BuiltInImages, HaveTheirSizesAndAlpha) {
    struct Expected {
        UINT id, width, height;
        bool alpha;
    } expected[] = {
        {IDB_CLOSE_DISABLED, 33, 21, true}, {IDB_CLOSE_PRESSED, 33, 21, true},
        {IDB_CLOSE_HOVER, 33, 21, true},    {IDB_CLOSE_CROSS, 33, 21, true},
        {IDB_DIALOG_FRAME, 9, 64, true},    {IDB_COMMAND_BUTTONS, 264, 23, true},
        {IDB_EMBLEM, 26, 28, true},         {IDB_TITLE_STRIP, 5, 45, false},
    };
    for (const Expected& e : expected) {
        ImagePtr image = LoadResourceImage(e.id, "PNG");
        ASSERT_TRUE(image) << e.id;
        ASSERT_TRUE(image->HasPixels()) << e.id;
        EXPECT_EQ(e.width, image->Width()) << e.id;
        EXPECT_EQ(e.height, image->Height()) << e.id;
        EXPECT_EQ(e.alpha, AnyTranslucent(*image)) << e.id;
    }
}

TEST(BuiltInImages, CloseCrossIsWhiteOnTransparentGround) {
    ImagePtr cross = LoadResourceImage(IDB_CLOSE_CROSS, "PNG");
    EXPECT_EQ(0u, PixelOf(*cross, 0, 0) >> 24);
    EXPECT_EQ(0xFFFFFFFFu, PixelOf(*cross, 16, 10)) << std::hex << PixelOf(*cross, 16, 10);
}

TEST(BuiltInImages, FrameHasBandBodyAndBorder) {
    ImagePtr frame = LoadResourceImage(IDB_DIALOG_FRAME, "PNG");
    ARGB band = PixelOf(*frame, 4, 15), body = PixelOf(*frame, 4, 45),
         border = PixelOf(*frame, 0, 33);
    EXPECT_GT(band & 0xFF, 150u) << "blue band";
    EXPECT_LT((band >> 16) & 0xFF, 100u);
    EXPECT_GT((body >> 16) & 0xFF, 240u) << "pale body";
    EXPECT_LT((border >> 16) & 0xFF, 60u) << "dark border";
    EXPECT_EQ(0xFFu, border >> 24);
    EXPECT_EQ(0u, PixelOf(*frame, 0, 0) >> 24) << "rounded corner";
}

TEST(LoadResourceImage, IdTakesItsLow16Bits) {
    ImagePtr image = LoadResourceImage(65536 + IDB_COMMAND_BUTTONS, "PNG");
    ASSERT_TRUE(image);
    EXPECT_EQ(264u, image->Width());
    EXPECT_EQ(23u, image->Height());
}

TEST(LoadResourceImage, BitmapTypeReadsAWindowsBitmap) {
    ImagePtr image = LoadResourceImage(IDB_TEST_BITMAP, "Bitmap");
    ASSERT_TRUE(image && image->HasPixels());
    EXPECT_EQ(4u, image->Width());
    EXPECT_EQ(3u, image->Height());
    EXPECT_EQ(0xFFC81E28u, PixelOf(*image, 0, 0)) << std::hex << PixelOf(*image, 0, 0);
    EXPECT_EQ(0xFF0AC81Eu, PixelOf(*image, 3, 2)) << std::hex << PixelOf(*image, 3, 2);
}

TEST(LoadResourceImage, MissingOrUndecodableGivesAnImageWithoutPixels) {
    struct Case {
        UINT id;
        const char* type;
    } cases[] = {
        {9999, "PNG"},                // no such resource
        {IDB_TEST_BITMAP, "bitmap"},  // lower case: a custom type, which does not exist
        {IDB_DIALOG_FRAME, "Bitmap"}, // a PNG is no bitmap resource
        {IDR_NOT_A_PNG, "PNG"},       // bytes that do not decode
        {IDB_DIALOG_FRAME, ""},
        {IDB_DIALOG_FRAME, nullptr},
    };
    for (const Case& c : cases) {
        ImagePtr image = LoadResourceImage(c.id, c.type);
        ASSERT_TRUE(image) << c.id;
        EXPECT_FALSE(image->HasPixels()) << c.id << " " << (c.type ? c.type : "(null)");
        EXPECT_EQ(0u, image->Width());
        EXPECT_EQ(0u, image->Height());
    }
}

TEST(LoadResourceImage, PixelsStayReadableAfterOtherMemoryIsReused) {
    ImagePtr image = LoadResourceImage(IDB_COMMAND_BUTTONS, "PNG");
    ARGB before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = PixelOf(*image, i * 66 + 30, 11);
    // Churn the global heap the copy of the resource bytes was made on.
    std::vector<HGLOBAL> blocks;
    for (int i = 0; i < 200; ++i) {
        HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE, 1500);
        memset(GlobalLock(b), 0xCD, 1500);
        GlobalUnlock(b);
        blocks.push_back(b);
    }
    for (HGLOBAL b : blocks)
        GlobalFree(b);
    Canvas canvas(264, 23);
    GpGraphics* graphics = nullptr;
    DllExports::GdipCreateFromHDC(canvas.Dc(), &graphics);
    EXPECT_EQ(Ok,
              DllExports::GdipDrawImageRectRectI(graphics, image->Bitmap(), 0, 0, 264, 23, 0, 0,
                                                 264, 23, UnitPixel, nullptr, nullptr, nullptr));
    DllExports::GdipDeleteGraphics(graphics);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(before[i], PixelOf(*image, i * 66 + 30, 11));
        COLORREF drawn = canvas.At(i * 66 + 30, 11);
        EXPECT_COLOR_NEAR(RGB((before[i] >> 16) & 0xFF, (before[i] >> 8) & 0xFF, before[i] & 0xFF),
                          drawn, 2);
    }
}

TEST(LoadFileImage, MissingFileGivesNothing) {
    TempFolder folder;
    EXPECT_FALSE(LoadFileImage(folder.Path("none.png").c_str()));
    EXPECT_FALSE(LoadFileImage(""));
    EXPECT_FALSE(LoadFileImage(nullptr));
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

TEST(LoadFileImage, DirectoryOrUndecodablePngGivesAnImageWithoutPixels) {
    TempFolder folder;
    std::string directory = folder.Path("General");
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    ImagePtr fromDirectory = LoadFileImage(directory.c_str());
    ASSERT_TRUE(fromDirectory);
    EXPECT_FALSE(fromDirectory->HasPixels());

    std::string broken = folder.Path("broken.png");
    WriteBytes(broken, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 'n', 'o', 't'});
    ImagePtr fromBroken = LoadFileImage(broken.c_str());
    ASSERT_TRUE(fromBroken);
    EXPECT_FALSE(fromBroken->HasPixels());
    EXPECT_EQ(0u, fromBroken->Width());
}

// Skin pictures are PNG images: a file of another kind is never decoded, even
// a sound picture named ".png", nor one declaring 30000 x 30000 pixels.
TEST(LoadFileImage, OnlyPngFilesAreDecoded) {
    TempFolder folder;
    const unsigned char w0 = 30000 & 0xFF, w1 = 30000 >> 8;
    const std::vector<std::vector<unsigned char>> kinds = {
        // BMP of 1 x 1 pixel at 24 bits, then one of 30000 x 30000 (headers only).
        {'B', 'M', 58, 0, 0, 0, 0, 0, 0,  0, 54, 0, 0, 0, 40, 0, 0,   0, 1, 0,
         0,   0,   1,  0, 0, 0, 1, 0, 24, 0, 0,  0, 0, 0, 4,  0, 0,   0, 0, 0,
         0,   0,   0,  0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 0,  0, 255, 0},
        {'B', 'M', 54, 0,  0,  0, 0, 0,  0,  0, 54, 0, 0, 0,  40,
         0,   0,   0,  w0, w1, 0, 0, w0, w1, 0, 0,  1, 0, 24, 0},
        // GIF of 1 x 1 pixel, then a logical screen of 30000 x 30000.
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255,  0, 0, 0,  0,
         0,   ',', 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, ';'},
        {'G', 'I', 'F', '8', '9', 'a', w0, w1, w0, w1, 0, 0, 0},
        // JPEG: start of image, then a baseline frame of 30000 x 30000.
        {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, w1, w0, w1, w0, 1, 1, 0x11, 0},
        {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'},
        {}};
    for (size_t i = 0; i < kinds.size(); ++i) {
        std::string path = folder.Path("BoxBtn_S" + std::to_string(i) + ".png");
        WriteBytes(path, kinds[i]);
        ImagePtr image = LoadFileImage(path.c_str());
        ASSERT_TRUE(image) << i;
        EXPECT_FALSE(image->HasPixels()) << i;
    }
}

// The first 24 bytes of a PNG declaring w x h pixels.
std::vector<unsigned char> PngHead(unsigned long w, unsigned long h) {
    std::vector<unsigned char> head = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                       0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (unsigned long v : {w, h})
        for (int shift = 24; shift >= 0; shift -= 8)
            head.push_back(static_cast<unsigned char>(v >> shift));
    return head;
}

TEST(LoadFileImage, PngDeclaringMoreThan4096By4096PixelsIsRefused) {
    auto tooMany = [](std::vector<unsigned char> head) {
        return DeclaresTooManyPixels(head.data(), head.size());
    };
    EXPECT_FALSE(tooMany(PngHead(4096, 4096)));
    EXPECT_FALSE(tooMany(PngHead(16000000, 1)));
    EXPECT_TRUE(tooMany(PngHead(4097, 4096)));
    EXPECT_TRUE(tooMany(PngHead(16000, 16000)));
    EXPECT_TRUE(tooMany(PngHead(0xFFFFFFFF, 0xFFFFFFFF)));
    // Not a PNG header, or too short to be one: left to the decoder.
    std::vector<unsigned char> head = PngHead(16000, 16000);
    head[12] = 'X';
    EXPECT_FALSE(tooMany(head));
    head = PngHead(16000, 16000);
    head.resize(23);
    EXPECT_FALSE(tooMany(head));
}

TEST(LoadFileImage, ReadsAFileWithAChineseName) {
    TempFolder folder;
    // "升级.png" in code page 936.
    std::string path = folder.Path("\xC9\xFD\xBC\xB6.png");
    ASSERT_TRUE(WritePng(path, 7, 5, [](int x, int) { return x < 3 ? 0xFF00FF00u : 0x00000000u; }));
    ImagePtr image = LoadFileImage(path.c_str());
    ASSERT_TRUE(image && image->HasPixels());
    EXPECT_EQ(7u, image->Width());
    EXPECT_EQ(5u, image->Height());
    EXPECT_EQ(0xFF00FF00u, PixelOf(*image, 1, 1));
    EXPECT_EQ(0u, PixelOf(*image, 5, 1) >> 24);
}

// ---- regions

std::vector<RECT> RunsOf(const std::vector<const char*>& rows) {
    int h = static_cast<int>(rows.size()), w = static_cast<int>(strlen(rows[0]));
    return AlphaRuns(w, h, [&](int x, int y) { return rows[static_cast<size_t>(y)][x] == '#'; });
}

void ExpectRect(const RECT& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(left, r.left);
    EXPECT_EQ(top, r.top);
    EXPECT_EQ(right, r.right);
    EXPECT_EQ(bottom, r.bottom);
}

TEST(AlphaRuns, OneRectanglePerRunBottomRowFirst) {
    auto runs = RunsOf({"##..##",   // row 0: two runs, the second reaching the last column
                        ".....#",   // row 1: only the last column
                        "####..",   // row 2: a run ending at transparent pixels
                        "......"}); // row 3: nothing
    ASSERT_EQ(4u, runs.size());
    ExpectRect(runs[0], 0, 2, 4, 3);
    ExpectRect(runs[1], 5, 1, 6, 2);
    ExpectRect(runs[2], 0, 0, 2, 1);
    ExpectRect(runs[3], 4, 0, 6, 1);
}

TEST(AlphaRuns, RunsNeverContinueIntoTheNextRow) {
    auto runs = RunsOf({"..##", "##.."});
    ASSERT_EQ(2u, runs.size());
    ExpectRect(runs[0], 0, 1, 2, 2);
    ExpectRect(runs[1], 2, 0, 4, 1);
}

TEST(AlphaRuns, EmptyAreas) {
    auto inside = [](int, int) { return true; };
    EXPECT_TRUE(AlphaRuns(0, 5, inside).empty());
    EXPECT_TRUE(AlphaRuns(5, 0, inside).empty());
    EXPECT_TRUE(AlphaRuns(-3, -3, inside).empty());
}

ImagePtr PngImage(TempFolder& folder, int w, int h, std::function<ARGB(int, int)> pixel) {
    // GDI+ keeps a file open while its image lives: a new name every time.
    static int count = 0;
    std::string path = folder.Path("region" + std::to_string(++count) + ".png");
    EXPECT_TRUE(WritePng(path, w, h, pixel));
    return LoadFileImage(path.c_str());
}

TEST(CreateAlphaRegion, OpaqueImageGivesOneRectanglePerRowCoveringIt) {
    TempFolder folder;
    ImagePtr image = PngImage(folder, 33, 21, [](int, int) { return 0xFF336699u; });
    auto runs = AlphaRuns(33, 21, [&](int x, int y) { return IsPixelInside(*image, x, y); });
    ASSERT_EQ(21u, runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        ExpectRect(runs[i], 0, 20 - static_cast<int>(i), 33, 21 - static_cast<int>(i));
    UniqueRegion region(CreateAlphaRegion(image.get(), 33, 21));
    RECT box;
    EXPECT_EQ(SIMPLEREGION, GetRgnBox(region.Get(), &box));
    ExpectRect(box, 0, 0, 33, 21);
}

TEST(CreateAlphaRegion, TransparentImageGivesAnEmptyRegion) {
    TempFolder folder;
    ImagePtr image = PngImage(folder, 33, 21, [](int, int) { return 0x00FFFFFFu; });
    UniqueRegion region(CreateAlphaRegion(image.get(), 33, 21));
    ASSERT_TRUE(region);
    RECT box;
    EXPECT_EQ(NULLREGION, GetRgnBox(region.Get(), &box));
}

TEST(CreateAlphaRegion, AlphaDecidesAndUnreadablePixelsCountAsInside) {
    TempFolder folder;
    // Alpha 1 is inside; alpha 0 is outside whatever its colour.
    ImagePtr image = PngImage(
        folder, 2, 2, [](int x, int y) { return x == 0 && y == 0 ? 0x01000000u : 0x00FFFFFFu; });
    UniqueRegion region(CreateAlphaRegion(image.get(), 4, 3));
    EXPECT_TRUE(PtInRegion(region.Get(), 0, 0));
    EXPECT_FALSE(PtInRegion(region.Get(), 1, 0));
    EXPECT_FALSE(PtInRegion(region.Get(), 1, 1));
    // Outside the 2 x 2 picture nothing can be read: inside.
    EXPECT_TRUE(PtInRegion(region.Get(), 2, 0));
    EXPECT_TRUE(PtInRegion(region.Get(), 3, 2));
    EXPECT_TRUE(PtInRegion(region.Get(), 0, 2));

    ImagePtr empty = LoadResourceImage(9999, "PNG");
    UniqueRegion all(CreateAlphaRegion(empty.get(), 3, 3));
    RECT box;
    EXPECT_EQ(SIMPLEREGION, GetRgnBox(all.Get(), &box));
    ExpectRect(box, 0, 0, 3, 3);
}

TEST(CreateAlphaRegion, NoImageOrNoAreaEdges) {
    EXPECT_EQ(nullptr, CreateAlphaRegion(nullptr, 10, 10));
    ImagePtr image = LoadResourceImage(IDB_CLOSE_HOVER, "PNG");
    for (auto [w, h] : {std::pair{0, 21}, std::pair{33, 0}, std::pair{-1, -1}}) {
        UniqueRegion region(CreateAlphaRegion(image.get(), w, h));
        ASSERT_TRUE(region);
        RECT box;
        EXPECT_EQ(NULLREGION, GetRgnBox(region.Get(), &box));
    }
}

TEST(ApplyAlphaRegion, ShapesTheWindow) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 40, 30, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_TRUE(window);
    UniqueRegion probe(CreateRectRgn(0, 0, 0, 0));
    // No image: the window keeps having no region.
    ApplyAlphaRegion(window, nullptr, 33, 21);
    EXPECT_EQ(ERROR, GetWindowRgn(window, probe.Get()));

    TempFolder folder;
    ImagePtr image = PngImage(folder, 33, 21, [](int x, int) { return x < 10 ? 0xFF000000u : 0u; });
    ApplyAlphaRegion(window, image.get(), 33, 21);
    ASSERT_EQ(SIMPLEREGION, GetWindowRgn(window, probe.Get()));
    RECT box;
    GetRgnBox(probe.Get(), &box);
    ExpectRect(box, 0, 0, 10, 21);

    ImagePtr clear = PngImage(folder, 33, 21, [](int, int) { return 0u; });
    ApplyAlphaRegion(window, clear.get(), 33, 21);
    EXPECT_EQ(NULLREGION, GetWindowRgn(window, probe.Get()));
    DestroyWindow(window);
}

} // namespace
