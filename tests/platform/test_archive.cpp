// Archive encodings (byte for byte) and the bounds-checked reader.
#include "platform/archive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& v, size_t n)
{
    return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(n, v.size()))};
}

TEST(ArchiveWriter, ScalarsAreLittleEndianWithFixedWidths)
{
    CArchiveWriter w;
    w.WriteByte(0xAB);
    w.WriteWord(0x1234);
    w.WriteDword(0xDEADBEEF);
    w.WriteInt32(-2);
    w.WriteDouble(1.0);
    w.WriteRect(CRect(1, -1, 256, 0x01020304));
    EXPECT_EQ(w.Bytes(), Bytes({0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0xFE, 0xFF, 0xFF, 0xFF,
                                0, 0, 0, 0, 0, 0, 0xF0, 0x3F,
                                1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 0, 0, 4, 3, 2, 1}));
    EXPECT_TRUE(w.Ok());
}

TEST(ArchiveWriter, StringAndCountPrefixesSwitchAtTheirLimits)
{
    struct Case {
        size_t length;
        std::vector<uint8_t> prefix;
    };
    const Case strings[] = {
        {0, Bytes({0x00})},
        {3, Bytes({0x03})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
        {0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {0x10000, Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00})},
    };
    for (const Case& c : strings) {
        CArchiveWriter w;
        w.WriteString(std::string(c.length, 'x'));
        EXPECT_EQ(w.Bytes().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(Prefix(w.Bytes(), c.prefix.size()), c.prefix) << c.length;
        if (c.length > 0) {
            EXPECT_EQ(w.Bytes()[c.prefix.size()], 'x');
        }

        CArchiveReader r(w.Bytes());
        EXPECT_EQ(r.ReadString().size(), c.length);
        EXPECT_TRUE(r.Ok() && r.AtEnd()) << c.length;
    }

    const Case counts[] = {
        {0, Bytes({0x00, 0x00})},
        {0xFFFE, Bytes({0xFE, 0xFF})},
        {0xFFFF, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})},
        {0x12345, Bytes({0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00})},
    };
    for (const Case& c : counts) {
        CArchiveWriter w;
        w.WriteCount(c.length);
        EXPECT_EQ(w.Bytes(), c.prefix) << c.length;
        CArchiveReader r(w.Bytes());
        EXPECT_EQ(r.ReadCount(0), c.length);
        EXPECT_TRUE(r.Ok() && r.AtEnd());
    }
}

TEST(ArchiveWriter, ObjectTagsOfOneClass)
{
    CArchiveWriter w;
    w.WriteObjectTag("CKpic", 3, true);
    w.WriteObjectTag("CKpic", 3, false);
    EXPECT_EQ(w.Bytes(), Bytes({0xFF, 0xFF, 0x03, 0x00, 0x05, 0x00, 'C', 'K', 'p', 'i', 'c', 0x01, 0x80}));

    CArchiveReader r(w.Bytes());
    EXPECT_TRUE(r.ReadObjectTag("CKpic", 3));
    EXPECT_TRUE(r.ReadObjectTag("CKpic", 3));
    EXPECT_TRUE(r.Ok() && r.AtEnd());
}

TEST(ArchiveReader, ReadsBackEveryValue)
{
    CArchiveWriter w;
    w.WriteWord(0xFFFF);
    w.WriteInt32(std::numeric_limits<int32_t>::min());
    w.WriteDouble(-0.02);
    w.WriteDouble(std::numeric_limits<double>::denorm_min());
    w.WriteRect(CRect(-5, 6, 7, -8));
    w.WriteString("C:\\Photos\\a b.jpg");
    w.WriteWord(0x8000);

    CArchiveReader r(w.Bytes());
    EXPECT_EQ(r.ReadWord(), 0xFFFF);
    EXPECT_EQ(r.ReadInt32(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(r.ReadDouble(), -0.02);
    EXPECT_EQ(r.ReadDouble(), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(r.ReadRect(), CRect(-5, 6, 7, -8));
    EXPECT_EQ(r.ReadString(), "C:\\Photos\\a b.jpg");
    EXPECT_EQ(r.ReadInt16(), -32768);
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveReader, FirstFailureSticksAndLaterReadsGiveZeros)
{
    const std::vector<uint8_t> data = Bytes({1, 2, 3, 4, 5, 6, 7});
    CArchiveReader r(data);
    EXPECT_EQ(r.ReadWord(), 0x0201);
    EXPECT_EQ(r.ReadDouble(), 0.0); // only five bytes left
    EXPECT_EQ(r.Error(), ArchiveError::Truncated);
    EXPECT_EQ(r.ErrorOffset(), 2u);
    // Smaller reads that would fit still fail and do not move on.
    EXPECT_EQ(r.ReadByte(), 0);
    EXPECT_EQ(r.ReadDword(), 0u);
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_EQ(r.Offset(), 2u);
    r.Fail(ArchiveError::BadValue);
    EXPECT_EQ(r.Error(), ArchiveError::Truncated);
}

TEST(ArchiveReader, RefusesLengthsAndCountsTheDataCannotHold)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        ArchiveError expected;
    };
    const Case cases[] = {
        {"byte length past the end", Bytes({0x05, 'a', 'b'}), ArchiveError::BadString},
        {"word length past the end", Bytes({0xFF, 0x00, 0x01, 'a'}), ArchiveError::BadString},
        {"huge dword length", Bytes({0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'a'}), ArchiveError::BadString},
        {"wide-character marker", Bytes({0xFF, 0xFE, 0xFF, 0x02, 'a', 0, 'b', 0}), ArchiveError::BadString},
        {"prefix cut short", Bytes({0xFF, 0x00}), ArchiveError::Truncated},
        {"dword length cut short", Bytes({0xFF, 0xFF, 0xFF, 0x01}), ArchiveError::Truncated},
    };
    for (const Case& c : cases) {
        CArchiveReader r(c.data);
        EXPECT_EQ(r.ReadString(), "") << c.what;
        EXPECT_EQ(r.Error(), c.expected) << c.what;
    }

    // Three elements of at least 4 bytes need 12 bytes after the count.
    const std::vector<uint8_t> eleven = Bytes({3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    CArchiveReader fits(eleven);
    EXPECT_EQ(fits.ReadCount(4), 0u);
    EXPECT_EQ(fits.Error(), ArchiveError::BadCount);
    CArchiveReader fitsLess(eleven);
    EXPECT_EQ(fitsLess.ReadCount(3), 3u);
    EXPECT_TRUE(fitsLess.Ok());
    const std::vector<uint8_t> bigCount = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0});
    CArchiveReader big(bigCount);
    big.ReadCount(1);
    EXPECT_EQ(big.Error(), ArchiveError::BadCount);
}

TEST(ArchiveReader, AcceptsOnlyTheTwoTagsOfTheExpectedClass)
{
    const auto newClass = [](int schema, std::string name) {
        std::vector<uint8_t> v = Bytes({0xFF, 0xFF, schema, 0, static_cast<int>(name.size()), 0});
        v.insert(v.end(), name.begin(), name.end());
        return v;
    };
    const auto concat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        int goodTags;
        ArchiveError expected;
    };
    const Case cases[] = {
        {"class index before the class", Bytes({0x01, 0x80}), 0, ArchiveError::BadTag},
        {"null object", Bytes({0x00, 0x00}), 0, ArchiveError::BadTag},
        {"reference to an earlier object", concat(newClass(3, "CKpic"), Bytes({0x02, 0x00})), 1, ArchiveError::BadTag},
        {"second class index", concat(newClass(3, "CKpic"), Bytes({0x02, 0x80})), 1, ArchiveError::BadTag},
        {"class introduced twice", concat(newClass(3, "CKpic"), newClass(3, "CKpic")), 1, ArchiveError::BadTag},
        {"other class", newClass(3, "CKpix"), 0, ArchiveError::BadClass},
        {"name of other length", newClass(3, "CKpicX"), 0, ArchiveError::BadClass},
        {"other schema", newClass(2, "CKpic"), 0, ArchiveError::BadSchema},
        {"name cut short", Bytes({0xFF, 0xFF, 3, 0, 5, 0, 'C', 'K'}), 0, ArchiveError::Truncated},
    };
    for (const Case& c : cases) {
        CArchiveReader r(c.data);
        int good = 0;
        while (r.Ok() && r.ReadObjectTag("CKpic", 3))
            ++good;
        EXPECT_EQ(good, c.goodTags) << c.what;
        EXPECT_EQ(r.Error(), c.expected) << c.what;
    }
}

TEST(Archive, CarriesDirectionAndFileName)
{
    CArchive out("/tmp/plan.fit");
    EXPECT_TRUE(out.IsStoring());
    out.Writer().WriteInt32(7);
    const std::vector<uint8_t> bytes = out.Writer().Bytes();
    CArchive in("/tmp/plan.mcl", bytes);
    EXPECT_TRUE(in.IsLoading());
    EXPECT_EQ(in.GetFilePath(), "/tmp/plan.mcl");
    EXPECT_EQ(in.Reader().ReadInt32(), 7);
    in.Reader().ReadByte();
    EXPECT_FALSE(in.Ok());
    EXPECT_EQ(in.Error(), ArchiveError::Truncated);
}

} // namespace
