// Path splitting, file kinds, tiles and byte helpers.
#include <gtest/gtest.h>

#include "common/helpers.h"

TEST(FileKinds, ExactMatchOnTheUpperCasedExtension)
{
    struct Case {
        const char* path;
        FileKind kind;
    };
    const Case cases[] = {
        {"C:\\A\\PIC.jpeg", FILE_KIND_JPEG}, {"x.Tif", FILE_KIND_TIFF}, {"x.tiff", FILE_KIND_NONE},
        {"plan.fit", FILE_KIND_PROJECT},     {"noext", FILE_KIND_NONE},  {"a.b.Png", FILE_KIND_PNG},
        {"/photos/a.jpg", FILE_KIND_JPEG},   {"m.MOV", FILE_KIND_MOVIE}, {"b.bmp", FILE_KIND_BMP},
        {"x.jpe", FILE_KIND_NONE},           {"/my.dir/file", FILE_KIND_NONE}, {".jpg", FILE_KIND_NONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetFileKind(c.path), c.kind) << c.path;
}

TEST(Paths, SplitOnEitherSeparator)
{
    EXPECT_EQ(GetFileExt(".profile"), "");
    EXPECT_EQ(GetFileExt("dir/.hidden"), "");
    EXPECT_EQ(GetFileExt("a/b.tar.gz"), "GZ");
    EXPECT_EQ(GetFolder("C:\\Photos\\a.jpg"), "C:\\Photos");
    EXPECT_EQ(GetFileName("C:\\Photos\\a.jpg"), "A.JPG");
    EXPECT_EQ(GetFileName("/home/me/b.png"), "B.PNG");
    EXPECT_EQ(GetFileName("b.png"), "");
    EXPECT_EQ(GetPathStem("/x/Pic.1.jpg"), "/X/PIC.1");

    std::string folder, name;
    SplitFolderAndName("/data/pics/a.jpg", &folder, &name);
    EXPECT_EQ(folder, "/data/pics/");
    EXPECT_EQ(name, "a.jpg");
    SplitFolderAndName("a.jpg", &folder, &name);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, "a.jpg");
}

TEST(Paths, LastFolderAndName)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\Photos\\a.jpg", "Photos\\", "a.jpg"},
        {"C:\\a.jpg", "C:\\", "a.jpg"},
        {"/home/me/trip/b.jpg", "trip/", "b.jpg"},
        {"a.jpg", "unchanged", "a.jpg"},
    };
    for (const Case& c : cases) {
        std::string folder = "unchanged", name;
        SplitLastFolderAndName(c.path, &folder, &name);
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
}

TEST(ZoomLabels, KnownFactorsOnly)
{
    EXPECT_EQ(GetZoomLabel(1), " 100%");
    EXPECT_EQ(GetZoomLabel(8), " 12%");
    EXPECT_EQ(GetZoomLabel(64), " 2%");
    EXPECT_EQ(GetZoomLabel(3), " ");
}

TEST(Bytes, PackUnpackAndOrderedReads)
{
    int a, b, c, d;
    UnpackBytes(PackBytes(-1, 2, -3, 4), &a, &b, &c, &d);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, -3);
    EXPECT_EQ(d, 4);
    EXPECT_EQ(PackBytes(0x12, 0x34, 0x56, 0x78), 0x12345678);

    const uint8_t two[] = {0x01, 0x02};
    EXPECT_EQ(ReadOrderedInt(two, 2, 77), 258);
    EXPECT_EQ(ReadOrderedInt(two, 2, -2), 258);  // remembers big-endian
    EXPECT_EQ(ReadOrderedInt(two, 2, 73), 513);
    EXPECT_EQ(ReadOrderedInt(two, 2, -2), 513);
    const uint8_t four[] = {0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_EQ(ReadOrderedInt(four, 4, 77), -2);
}

TEST(Tiles, MarginsOnTheOuterTilesOnly)
{
    CRect t;
    GetTileRect(&t, 1000, 500, 300, 600, 20, 0, 0);
    EXPECT_EQ(t.left, 0);
    EXPECT_EQ(t.right, 320);
    GetTileRect(&t, 1000, 500, 300, 600, 20, 3, 0);
    EXPECT_EQ(t.left, 920);
    EXPECT_EQ(t.right, 1000);
    GetTileRect(&t, 1000, 500, 300, 600, 20, 4, 0);  // only four columns
    EXPECT_TRUE(t.IsRectNull());
    GetTileRect(&t, 1000, 500, 0, 600, 20, 0, 0);
    EXPECT_TRUE(t.IsRectNull());
}

TEST(Rects, IncludePointGrowsEachSide)
{
    CRect r(0, 0, 10, 10);
    IncludePoint(&r, -5, 20);
    EXPECT_EQ(r, CRect(-5, 0, 10, 20));
    IncludePoint(&r, 15, -3);
    EXPECT_EQ(r, CRect(-5, -3, 15, 20));
}

TEST(Paths, EqualsNoCaseFoldsAsciiLettersOnly)
{
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"C:\\Photos\\IMG_01.JPG", "c:\\photos\\img_01.jpg", true},
        {"/a/b.jpg", "/a/b.jpg", true},
        {"", "", true},
        {"a.jpg", "a.jpgx", false},
        {"a/b.jpg", "a\\b.jpg", false},
        // '@' and '`' sit next to the letters; only A-Z fold.
        {"@", "`", false},
        {"[", "{", false},
        // Bytes of UTF-8 letters are compared as they are.
        {"\xC3\x89t\xC3\xA9.jpg", "\xC3\xA9T\xC3\xA9.JPG", false},
        {"\xC3\x89t\xC3\xA9.jpg", "\xC3\x89T\xC3\xA9.JPG", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(EqualsNoCase(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}
