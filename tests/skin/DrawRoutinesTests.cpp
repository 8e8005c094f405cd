#include "SkinTestSupport.h"
#include "res/resource.h"
#include "skin/DrawRoutines.h"
#include "skin/SkinGeometry.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

void ExpectBox(const Box& b, int x, int y, int w, int h) {
    EXPECT_EQ(x, b.x);
    EXPECT_EQ(y, b.y);
    EXPECT_EQ(w, b.width);
    EXPECT_EQ(h, b.height);
}

// ---- arithmetic

TEST(LayoutBackdrop, FrameImageOverTheWholeDialog) {
    BackdropLayout l = LayoutBackdrop(9, 64, 30, RECT{0, 0, 300, 320});
    // Stretched: the sides take source row h - a - 1 = 33, not row 30.
    ExpectBox(l.stretched[0].dest, 0, 30, 4, 257);
    ExpectBox(l.stretched[0].source, 0, 33, 4, 1);
    ExpectBox(l.stretched[1].dest, 296, 30, 4, 257);
    ExpectBox(l.stretched[1].source, 5, 33, 4, 1);
    ExpectBox(l.stretched[2].dest, 4, 0, 292, 30);
    ExpectBox(l.stretched[2].source, 4, 0, 1, 30);
    ExpectBox(l.stretched[3].dest, 4, 287, 292, 33);
    ExpectBox(l.stretched[3].source, 4, 31, 1, 33);
    // Corners at their own size.
    ExpectBox(l.corners[0].dest, 0, 0, 4, 30);
    ExpectBox(l.corners[0].source, 0, 0, 4, 30);
    ExpectBox(l.corners[1].dest, 296, 0, 4, 30);
    ExpectBox(l.corners[1].source, 5, 0, 4, 30);
    ExpectBox(l.corners[2].dest, 0, 287, 4, 33);
    ExpectBox(l.corners[2].source, 0, 31, 4, 33);
    ExpectBox(l.corners[3].dest, 296, 287, 4, 33);
    ExpectBox(l.corners[3].source, 5, 31, 4, 33);
}

TEST(LayoutBackdrop, OffsetRectangleAndTooSmallDestination) {
    BackdropLayout l = LayoutBackdrop(9, 64, 30, RECT{10, 20, 110, 120});
    ExpectBox(l.stretched[0].dest, 10, 50, 4, 37);
    ExpectBox(l.corners[3].dest, 106, 87, 4, 33);
    // A window lower than band and bottom band together leaves the sides
    // without height: they are not drawn rather than drawn mirrored.
    BackdropLayout small = LayoutBackdrop(9, 64, 30, RECT{0, 0, 300, 50});
    EXPECT_FALSE(HasArea(small.stretched[0].dest));
    EXPECT_FALSE(HasArea(small.stretched[1].dest));
    EXPECT_TRUE(HasArea(small.stretched[2].dest));
}

SkinImage Placed(RECT rect, int toRight = 0, int toBottom = 0, RECT source = {}) {
    SkinImage i;
    i.rect = rect;
    i.toRightEdge = toRight;
    i.toBottomEdge = toBottom;
    i.sourceRect = source;
    return i;
}

TEST(LayoutPlacedImage, RulesForTheFarEdges) {
    const RECT client{0, 0, 300, 320};
    struct Case {
        SkinImage image;
        Box dest;
        bool unscaled;
    } cases[] = {
        // Own size at (5, 0).
        {Placed({5, 0, 0, 0}), {5, 0, 26, 28}, true},
        // From x 2 to x 297, own height: stretched across.
        {Placed({2, 30, -3, 0}), {2, 30, 295, 28}, false},
        // To the bottom edge.
        {Placed({10, 60, -50, 0}, 0, 1), {10, 60, 240, 260}, false},
        // Negative left and top count from the right and bottom edges.
        {Placed({-26, -28, 0, 0}), {274, 292, 26, 28}, true},
        // A right of 0 after the negative rule means the own width.
        {Placed({40, 0, -300, 0}), {40, 0, 26, 28}, true},
        {Placed({0, 0, 0, 0}, 1, 0), {0, 0, 300, 28}, false},
        // Far edges before the near ones: nothing to draw.
        {Placed({50, 50, 20, 20}), {50, 50, -30, -30}, false},
    };
    for (const Case& c : cases) {
        PlacedLayout l = LayoutPlacedImage(client, c.image, 26, 28);
        ExpectBox(l.part.dest, c.dest.x, c.dest.y, c.dest.width, c.dest.height);
        EXPECT_EQ(c.unscaled, l.unscaled);
        ExpectBox(l.part.source, 0, 0, 26, 28);
    }
}

TEST(LayoutPlacedImage, SourcePartSizesTheDestination) {
    PlacedLayout l = LayoutPlacedImage(RECT{0, 0, 300, 320},
                                       Placed({10, 10, 0, 0}, 0, 0, {66, 0, 132, 23}), 264, 23);
    ExpectBox(l.part.source, 66, 0, 66, 23);
    ExpectBox(l.part.dest, 10, 10, 66, 23);
    EXPECT_TRUE(l.unscaled);
}

TEST(LayoutTextBox, NegativePositionsAndZeroSizes) {
    SkinText t;
    t.x = -100;
    t.y = 8;
    t.width = 0;
    t.height = 30;
    TextBox b = LayoutTextBox(t, 300, 320);
    EXPECT_FLOAT_EQ(200, b.x);
    EXPECT_FLOAT_EQ(8, b.y);
    EXPECT_FLOAT_EQ(300, b.width);
    EXPECT_FLOAT_EQ(30, b.height);
    t.y = -20.5f;
    t.width = -1;
    t.height = 0;
    b = LayoutTextBox(t, 300, 320);
    EXPECT_FLOAT_EQ(299.5f, b.y);
    EXPECT_FLOAT_EQ(300, b.width);
    EXPECT_FLOAT_EQ(320, b.height);
}

TEST(AlignmentOf, FirstBitOfEachAxisWins) {
    struct Case {
        int align, line, horizontal;
    } cases[] = {
        {0, 0, 0},
        {-1, 0, 0}, // every bit: top-left
        {AlignTop | AlignLeft, 0, 0},
        {AlignCenter | AlignMiddle, 1, 1},
        {AlignBottom | AlignRight, 2, 2},
        {AlignMiddle | AlignBottom | AlignCenter | AlignRight, 1, 1},
        {AlignRight, 0, 2},
        {AlignBottom, 2, 0},
    };
    for (const Case& c : cases) {
        TextAlignment a = AlignmentOf(c.align);
        EXPECT_EQ(c.line, a.line) << c.align;
        EXPECT_EQ(c.horizontal, a.horizontal) << c.align;
    }
}

// ---- pixels

// A 9 x 64 frame picture whose parts can be told apart: translucent red
// corners, green side rows (row 33), blue top band, yellow bottom band, and a
// magenta row 30 that must never show.
Gdiplus::ARGB TestFrame(int x, int y) {
    if (x == 4) // the middle column: the band middles
        return y < 30 ? 0xFF0000FF : 0xFFFFFF00;
    if (y == 33)
        return 0xFF00C000;
    if (y == 30)
        return 0xFFFF00FF;
    return 0x80FF0000;
}

class PixelTest : public ::testing::Test {
protected:
    std::string Png(int w, int h, std::function<Gdiplus::ARGB(int, int)> pixel) {
        static int count = 0;
        std::string path = folder.Path("p" + std::to_string(++count) + ".png");
        EXPECT_TRUE(WritePng(path, w, h, pixel));
        return path;
    }
    TempFolder folder;
};

SkinBackdrop FileBackdrop(const std::string& path, RECT rect) {
    SkinBackdrop b;
    b.filePath = path;
    b.fromResource = 0;
    b.bandHeight = 30;
    b.rect = rect;
    return b;
}

TEST_F(PixelTest, BackdropCornersBlendEdgesAreOpaqueMiddleIsUntouched) {
    Canvas canvas(100, 100, RGB(128, 128, 128));
    CDC dc(canvas.Dc());
    DrawBackdropImage(&dc, FileBackdrop(Png(9, 64, TestFrame), RECT{0, 0, 100, 100}));
    // Corners: half-transparent red over grey.
    EXPECT_COLOR_NEAR(RGB(191, 64, 64), canvas.At(1, 1), 4);
    EXPECT_COLOR_NEAR(RGB(191, 64, 64), canvas.At(98, 98), 4);
    EXPECT_COLOR_NEAR(RGB(191, 64, 64), canvas.At(97, 2), 4);
    // The sides come from row 33 (green), never row 30 (magenta).
    for (int y = 30; y < 67; y += 6) {
        EXPECT_COLOR_NEAR(RGB(0, 192, 0), canvas.At(1, y), 0) << y;
        EXPECT_COLOR_NEAR(RGB(0, 192, 0), canvas.At(98, y), 0) << y;
    }
    EXPECT_COLOR_NEAR(RGB(0, 0, 255), canvas.At(50, 10), 0);
    EXPECT_COLOR_NEAR(RGB(255, 255, 0), canvas.At(50, 90), 0);
    // The middle shows what was there before.
    EXPECT_COLOR_NEAR(RGB(128, 128, 128), canvas.At(50, 50), 0);
    EXPECT_COLOR_NEAR(RGB(128, 128, 128), canvas.At(4, 30), 0);
    EXPECT_COLOR_NEAR(RGB(128, 128, 128), canvas.At(95, 66), 0);
}

TEST_F(PixelTest, StretchedBackdropPartsTurnTransparentPixelsBlack) {
    // A frame whose stretched parts are fully transparent.
    std::string path =
        Png(9, 64, [](int x, int y) { return (x == 4 || y == 33) ? 0x00FFFFFFu : 0xFF2040FFu; });
    Canvas canvas(60, 100, RGB(128, 128, 128));
    CDC dc(canvas.Dc());
    DrawBackdropImage(&dc, FileBackdrop(path, RECT{0, 0, 60, 100}));
    EXPECT_COLOR_NEAR(RGB(0, 0, 0), canvas.At(30, 5), 0);
    EXPECT_COLOR_NEAR(RGB(0, 0, 0), canvas.At(1, 50), 0);
    EXPECT_COLOR_NEAR(RGB(128, 128, 128), canvas.At(30, 50), 0);
}

TEST_F(PixelTest, BuiltInFrameOverTheDialog) {
    Canvas canvas(300, 320);
    CDC dc(canvas.Dc());
    SkinBackdrop b;
    b.resourceId = IDB_DIALOG_FRAME;
    b.resourceType = "PNG";
    b.bandHeight = 30;
    b.rect = RECT{0, 0, 300, 320};
    DrawBackdropImage(&dc, b);
    COLORREF band = canvas.At(150, 15);
    EXPECT_GT(Blue(band), 150);
    EXPECT_LT(Red(band), 100);
    EXPECT_LT(Red(canvas.At(0, 150)), 60) << "dark border on the left";
    EXPECT_LT(Red(canvas.At(299, 150)), 60) << "dark border on the right";
    EXPECT_LT(Red(canvas.At(150, 319)), 60) << "dark border at the bottom";
    EXPECT_COLOR_NEAR(RGB(255, 255, 255), canvas.At(150, 150), 0);
    // The transparent corner pixel lets the white ground show.
    EXPECT_COLOR_NEAR(RGB(255, 255, 255), canvas.At(0, 0), 0);
}

TEST_F(PixelTest, FileItemsFallBackToTheirResource) {
    RECT all{0, 0, 40, 40};
    std::string file = Png(9, 64, [](int, int) { return 0xFF00FF00u; });
    SkinImage item;
    item.resourceId = IDB_EMBLEM;
    item.resourceType = "PNG";
    item.fromResource = 0;
    item.filePath = file;
    ImagePtr fromFile =
        LoadItemImage(item.fromResource, item.filePath, item.resourceId, item.resourceType);
    EXPECT_EQ(9u, fromFile->Width());

    item.filePath = folder.Path("missing.png");
    ImagePtr fallback =
        LoadItemImage(item.fromResource, item.filePath, item.resourceId, item.resourceType);
    EXPECT_EQ(26u, fallback->Width());

    // A file set while the item draws its resource is not used.
    item.filePath = file;
    item.fromResource = 1;
    EXPECT_EQ(26u,
              LoadItemImage(item.fromResource, item.filePath, item.resourceId, item.resourceType)
                  ->Width());

    // No file and no resource: nothing is drawn.
    Canvas canvas(40, 40, RGB(10, 20, 30));
    CDC dc(canvas.Dc());
    item.filePath = folder.Path("missing.png");
    item.fromResource = 0;
    item.resourceId = 0;
    item.resourceType = "";
    DrawPlacedImage(&dc, all, item);
    DrawBackdropImage(&dc, FileBackdrop(folder.Path("missing.png"), all));
    for (int y = 0; y < 40; y += 3)
        for (int x = 0; x < 40; x += 3)
            ASSERT_EQ(RGB(10, 20, 30), canvas.At(x, y));
}

TEST_F(PixelTest, PlacedImageKeepsAlphaAtItsSizeAndIsOpaqueStretched) {
    // Left half opaque blue, right half fully transparent.
    std::string path = Png(10, 10, [](int x, int) { return x < 5 ? 0xFF0000FFu : 0x00FFFFFFu; });
    const RECT client{0, 0, 100, 100};
    Canvas canvas(100, 100, RGB(200, 200, 200));
    CDC dc(canvas.Dc());
    SkinImage item;
    item.filePath = path;
    item.fromResource = 0;
    item.rect = RECT{10, 10, 0, 0};
    DrawPlacedImage(&dc, client, item);
    EXPECT_COLOR_NEAR(RGB(0, 0, 255), canvas.At(12, 15), 0);
    EXPECT_COLOR_NEAR(RGB(200, 200, 200), canvas.At(17, 15), 0);

    // One pixel wider: stretched, and the transparent half comes out black.
    item.rect = RECT{50, 50, 61, 0};
    DrawPlacedImage(&dc, client, item);
    EXPECT_COLOR_NEAR(RGB(0, 0, 255), canvas.At(51, 55), 0);
    EXPECT_COLOR_NEAR(RGB(0, 0, 0), canvas.At(59, 55), 0);
}

TEST_F(PixelTest, PlacedImageReachesTheBottomEdgeAndCountsFromTheFarEdges) {
    std::string path = Png(4, 4, [](int, int) { return 0xFFFF0000u; });
    const RECT client{0, 0, 300, 320};
    Canvas canvas(300, 320);
    CDC dc(canvas.Dc());
    SkinImage item;
    item.filePath = path;
    item.fromResource = 0;
    item.rect = RECT{10, 60, -50, 0};
    item.toBottomEdge = 1;
    DrawPlacedImage(&dc, client, item);
    EXPECT_COLOR_NEAR(RGB(255, 0, 0), canvas.At(10, 60), 0);
    EXPECT_COLOR_NEAR(RGB(255, 0, 0), canvas.At(249, 319), 0);
    EXPECT_COLOR_NEAR(RGB(255, 255, 255), canvas.At(250, 319), 0);
    EXPECT_COLOR_NEAR(RGB(255, 255, 255), canvas.At(100, 59), 0);

    canvas.Fill(RGB(255, 255, 255));
    item.rect = RECT{-4, -4, 0, 0};
    item.toBottomEdge = 0;
    DrawPlacedImage(&dc, client, item);
    EXPECT_COLOR_NEAR(RGB(255, 0, 0), canvas.At(296, 316), 0);
    EXPECT_COLOR_NEAR(RGB(255, 0, 0), canvas.At(299, 319), 0);
    EXPECT_COLOR_NEAR(RGB(255, 255, 255), canvas.At(295, 315), 0);
}

TEST_F(PixelTest, TitleStripStretchesAcrossTheDialog) {
    Canvas canvas(300, 320, RGB(0, 0, 0));
    CDC dc(canvas.Dc());
    SkinImage strip;
    strip.resourceId = IDB_TITLE_STRIP;
    strip.resourceType = "PNG";
    strip.rect = RECT{2, 30, -3, 0};
    DrawPlacedImage(&dc, RECT{0, 0, 300, 320}, strip);
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(1, 40));
    EXPECT_NE(RGB(0, 0, 0), canvas.At(2, 40));
    EXPECT_NE(RGB(0, 0, 0), canvas.At(296, 74));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(297, 40));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(100, 75));
    EXPECT_GT(Blue(canvas.At(100, 30)), Red(canvas.At(100, 30))) << "pale blue at the top";
}

// ---- text

// Counts the pixels of a canvas area that differ from its white ground.
int Ink(const Canvas& c, int left = 0, int top = 0, int right = INT_MAX, int bottom = INT_MAX) {
    int count = 0;
    for (int y = top; y < std::min(bottom, c.Height()); ++y)
        for (int x = left; x < std::min(right, c.Width()); ++x)
            if (c.At(x, y) != RGB(255, 255, 255))
                ++count;
    return count;
}

// The rows holding ink, as (first, last); (-1, -1) without ink.
std::pair<int, int> InkRows(const Canvas& c) {
    int first = -1, last = -1;
    for (int y = 0; y < c.Height(); ++y)
        if (Ink(c, 0, y, c.Width(), y + 1)) {
            if (first < 0)
                first = y;
            last = y;
        }
    return {first, last};
}

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_TRUE(window);
    }
    void TearDown() override { DestroyWindow(window); }

    SkinText Text(const char* s) {
        SkinText t;
        t.text = s;
        t.fontName = "\xCB\xCE\xCC\xE5"; // 宋体
        t.fontSize = 12;
        t.width = 300;
        t.height = 100;
        return t;
    }

    HWND window = nullptr;
    Canvas canvas{300, 100};
};

TEST_F(TextTest, NegativeXCountsFromTheRightEdge) {
    SkinText t = Text("WWWW");
    t.x = -100;
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_EQ(0, Ink(canvas, 0, 0, 200, 100));
    EXPECT_GT(Ink(canvas, 200, 0, 260, 100), 20);
}

TEST_F(TextTest, ZeroWidthMeansTheWindowsWidth) {
    SkinText t = Text("WWWW");
    t.width = 0;
    t.align = AlignTop | AlignRight;
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_EQ(0, Ink(canvas, 0, 0, 200, 100));
    EXPECT_GT(Ink(canvas, 250, 0, 300, 100), 20);

    canvas.Fill(RGB(255, 255, 255));
    t.width = 100;
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_GT(Ink(canvas, 50, 0, 100, 100), 20);
    EXPECT_EQ(0, Ink(canvas, 100, 0, 300, 100));
}

TEST_F(TextTest, AlignmentMovesTheText) {
    SkinText t = Text("WW");
    t.align = AlignMiddle | AlignCenter;
    DrawSkinText(window, canvas.Dc(), t);
    auto [top, bottom] = InkRows(canvas);
    EXPECT_GT(top, 30);
    EXPECT_LT(bottom, 70);
    EXPECT_EQ(0, Ink(canvas, 0, 0, 120, 100));
    EXPECT_EQ(0, Ink(canvas, 180, 0, 300, 100));
}

TEST_F(TextTest, BoldTitleHasMoreInkAndChineseTextDraws) {
    SkinText regular = Text("\xC9\xFD\xBC\xB6\xCC\xE1\xCA\xBE"); // 升级提示
    DrawSkinText(window, canvas.Dc(), regular);
    int thin = Ink(canvas);
    EXPECT_GT(thin, 50);
    canvas.Fill(RGB(255, 255, 255));
    SkinText bold = regular;
    bold.fontStyle = 1;
    DrawSkinText(window, canvas.Dc(), bold);
    EXPECT_GT(Ink(canvas), thin * 6 / 5);
}

TEST_F(TextTest, UnknownFontFallsBackToSansSerif) {
    SkinText t = Text("Hello");
    t.fontName = "No Such Font Family";
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_GT(Ink(canvas), 30);
    canvas.Fill(RGB(255, 255, 255));
    t.fontName = "";
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_GT(Ink(canvas), 30);
}

TEST_F(TextTest, SizesNotAboveZeroDrawNothing) {
    for (float size : {0.0f, -5.0f}) {
        SkinText t = Text("Hello");
        t.fontSize = size;
        DrawSkinText(window, canvas.Dc(), t);
        t.outlineWidth = 2;
        t.shadow = 1;
        DrawSkinText(window, canvas.Dc(), t);
        EXPECT_EQ(0, Ink(canvas)) << size;
    }
    // No window to measure against: the box starts at the origin, unbounded.
    SkinText t = Text("Hello");
    t.width = 0;
    t.height = 0;
    DrawSkinText(nullptr, canvas.Dc(), t);
    EXPECT_GT(Ink(canvas, 0, 0, 100, 40), 30);
}

TEST_F(PixelTest, NoDeviceContextDrawsNothing) {
    SkinBackdrop b;
    b.resourceId = IDB_DIALOG_FRAME;
    b.resourceType = "PNG";
    b.rect = RECT{0, 0, 10, 10};
    DrawBackdropImage(nullptr, b);
    CDC none;
    DrawBackdropImage(&none, b);
    SkinImage i;
    i.resourceId = IDB_EMBLEM;
    i.resourceType = "PNG";
    DrawPlacedImage(&none, RECT{0, 0, 10, 10}, i);
}

TEST_F(TextTest, PlainSizeIsInPointsOutlinedSizeInPixels) {
    SkinText t = Text("H");
    t.fontSize = 30;
    DrawSkinText(window, canvas.Dc(), t);
    auto plain = InkRows(canvas);
    canvas.Fill(RGB(255, 255, 255));
    t.outlineWidth = -1; // outlined, unstroked
    DrawSkinText(window, canvas.Dc(), t);
    auto outlined = InkRows(canvas);
    double ratio = double(plain.second - plain.first + 1) / (outlined.second - outlined.first + 1);
    // 30 points are 40 pixels at 96 dots per inch.
    EXPECT_NEAR(4.0 / 3.0, ratio, 0.12)
        << plain.first << "-" << plain.second << " vs " << outlined.first << "-" << outlined.second;
}

TEST_F(TextTest, ShadowOnlyForOutlinedText) {
    SkinText t = Text("II");
    t.fontSize = 30;
    t.shadow = 1;
    t.shadowDx = 8;
    t.shadowDy = 0;
    DrawSkinText(window, canvas.Dc(), t);
    int plainWithShadowFlag = Ink(canvas);
    canvas.Fill(RGB(255, 255, 255));
    t.shadow = 0;
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_EQ(plainWithShadowFlag, Ink(canvas)) << "plain text draws no shadow";

    // Outlined: the shadow is a grey copy eight pixels to the right.
    canvas.Fill(RGB(255, 255, 255));
    t.outlineWidth = -1;
    DrawSkinText(window, canvas.Dc(), t);
    int withoutShadow = Ink(canvas);
    canvas.Fill(RGB(255, 255, 255));
    t.shadow = 1;
    DrawSkinText(window, canvas.Dc(), t);
    EXPECT_GT(Ink(canvas), withoutShadow);
    int grey = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x)
            if (Near(canvas.At(x, y), RGB(128, 128, 128), 12))
                ++grey;
    EXPECT_GT(grey, 20);
}

TEST_F(TextTest, OutlineShowsAsAHaloAroundTheFill) {
    SkinText t = Text("I");
    t.fontSize = 40;
    t.textColor = 0xFF0000FF;    // blue glyphs
    t.outlineColor = 0xFFFF0000; // red pen
    t.outlineWidth = 6;
    DrawSkinText(window, canvas.Dc(), t);
    int red = 0, blue = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x) {
            COLORREF c = canvas.At(x, y);
            red += Near(c, RGB(255, 0, 0), 10);
            blue += Near(c, RGB(0, 0, 255), 10);
        }
    EXPECT_GT(red, 40);
    EXPECT_GT(blue, 40);

    // A negative width strokes nothing: no red at all.
    canvas.Fill(RGB(255, 255, 255));
    t.outlineWidth = -6;
    DrawSkinText(window, canvas.Dc(), t);
    red = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x)
            red += Near(canvas.At(x, y), RGB(255, 0, 0), 60);
    EXPECT_EQ(0, red);
}

} // namespace
