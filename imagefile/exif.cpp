// EXIF camera data: the APP1 segment, the two directories (IFD0 and the Exif directory) and
// the values of their entries; the record of the last JPEG file parsed.
#include "imagefile/exif.h"

#include <cmath>
#include <cstring>

CExifInfo ExifInfo;
std::string LastJpegPath;
std::string LastExifModel;
std::string LastExifDate;
double LastExifFocalLength = 0.0;
double LastExifExposure = 0.0;
double LastExifFNumber = 0.0;

namespace {

constexpr int kOrderBigEndian = 77;
constexpr int kOrderLittleEndian = 73;
constexpr size_t kMaxExifText = 50;

// One EXIF block: the reads of its directory entries, with the block's byte order.
class CExifBlock {
public:
    CExifBlock(CByteSource& src, int64_t t, int order) : m_src(src), m_t(t), m_order(order) {}

    uint32_t Ordered(const uint8_t* b, int n) const
    {
        uint32_t v = 0;
        if (m_order == kOrderBigEndian) {
            for (int i = 0; i < n; ++i)
                v = (v << 8) | b[i];
        } else {
            for (int i = n - 1; i >= 0; --i)
                v = (v << 8) | b[i];
        }
        return v;
    }
    int Tag(const uint8_t* e) const { return static_cast<int>(Ordered(e, 2)); }
    int Type(const uint8_t* e) const { return static_cast<int>(Ordered(e + 2, 2)); }
    uint32_t Count(const uint8_t* e) const { return Ordered(e + 4, 4); }
    int64_t ValueOffset(const uint8_t* e) const { return m_t + static_cast<int64_t>(Ordered(e + 8, 4)); }

    std::string String(const uint8_t* e) const
    {
        if (Type(e) != 2)
            return {};
        const uint32_t count = Count(e);
        char text[kMaxExifText + 1] = {};
        if (count > 4) {
            const size_t n = count < kMaxExifText ? count : kMaxExifText;
            if (m_src.ReadAt(ValueOffset(e), text, n) != n)
                return {};
            text[n] = 0;
        } else {
            std::memcpy(text, e + 8, 4);
            text[4] = 0;
        }
        return std::string(text, strnlen(text, sizeof text));
    }

    int Int(const uint8_t* e) const
    {
        switch (Type(e)) {
        case 1:
        case 6:
            return e[8];
        case 3:
            return static_cast<int>(Ordered(e + 8, 2));
        case 4:
        case 9:
            return static_cast<int>(Ordered(e + 8, 4));
        default:
            return EXIF_MISSING;
        }
    }

    double Rational(const uint8_t* e) const
    {
        const int type = Type(e);
        if (type != 5 && type != 10)
            return Int(e);
        uint8_t b[8];
        if (m_src.ReadAt(ValueOffset(e), b, 8) != 8)
            return EXIF_MISSING;
        const auto num = static_cast<int32_t>(Ordered(b, 4));
        auto den = static_cast<int32_t>(Ordered(b + 4, 4));
        if (den == 0)
            den = 1;
        return static_cast<double>(num) / static_cast<double>(den);
    }

    // Reads the entry count at directory offset ifd; false on a short read.
    bool EntryCount(uint32_t ifd, int& count) const
    {
        uint8_t b[2];
        if (m_src.ReadAt(m_t + ifd, b, 2) != 2)
            return false;
        count = static_cast<int>(Ordered(b, 2));
        return true;
    }
    bool Entry(uint32_t ifd, int i, uint8_t* e) const
    {
        return m_src.ReadAt(m_t + ifd + 2 + 12 * static_cast<int64_t>(i), e, 12) == 12;
    }

private:
    CByteSource& m_src;
    int64_t m_t;
    int m_order;
};

} // namespace

int ReadExif(CByteSource& src, int64_t t, CExifInfo& info, bool& headerValid)
{
    headerValid = false;
    uint8_t head[8];
    if (src.ReadAt(t, head, 8) != 8)
        return 0;
    int order;
    if (head[0] == 'I' && head[1] == 'I')
        order = kOrderLittleEndian;
    else if (head[0] == 'M' && head[1] == 'M')
        order = kOrderBigEndian;
    else
        return 0;
    const CExifBlock block(src, t, order);
    if (block.Ordered(head + 2, 2) != 42)
        return 0;
    const uint32_t ifd0 = block.Ordered(head + 4, 4);

    headerValid = true;
    info.Reset();

    int count = 0;
    if (!block.EntryCount(ifd0, count))
        return 0;
    uint8_t e[12];
    uint32_t exifIfd = 0;
    for (int i = 0; i < count; ++i) {
        if (!block.Entry(ifd0, i, e))
            return 0;
        const int tag = block.Tag(e);
        if (tag == 272) {
            info.Model = block.String(e);
        } else if (tag == 36867) {
            info.DateTimeOriginal = block.String(e);
        } else if (tag == 37386) {
            info.FocalLength = block.Rational(e);
        } else if (tag == 34665) {
            exifIfd = static_cast<uint32_t>(block.Int(e));
            break;
        }
    }
    if (exifIfd == 0)
        return 0;

    if (!block.EntryCount(exifIfd, count))
        return 0;
    for (int i = 0; i < count; ++i) {
        if (!block.Entry(exifIfd, i, e))
            return 0;
        switch (block.Tag(e)) {
        case 33434: info.ExposureTime = block.Rational(e); break;
        case 33437: info.FNumber = block.Rational(e); break;
        case 36867: info.DateTimeOriginal = block.String(e); break;
        case 37377: info.ShutterSpeedValue = block.Rational(e); break;
        case 37378: info.ApertureValue = block.Rational(e); break;
        case 37379: info.BrightnessValue = block.Rational(e); break;
        case 37386: info.FocalLength = block.Rational(e); break;
        case 41486: info.FocalPlaneXResolution = block.Rational(e); break;
        case 41488: info.FocalPlaneResolutionUnit = block.Int(e); break;
        case 41989: info.FocalLength35mm = block.Int(e); break;
        case 40962: info.PixelXDimension = block.Int(e); break;
        case 40963: info.PixelYDimension = block.Int(e); break;
        case 272: info.Model = block.String(e); break;
        default: break;
        }
    }
    info.FilePath = src.Path();
    return 1;
}

int ReadApp1(CByteSource& src, int64_t& p, CExifInfo& info, bool& headerValid)
{
    headerValid = false;
    const int64_t s = p;
    uint8_t len[2];
    if (src.ReadAt(s, len, 2) != 2)
        return -1;
    const int length = (len[0] << 8) | len[1];
    p += length;
    const size_t want = length < 50 ? static_cast<size_t>(length) : 50;
    char ident[51] = {};
    if (src.ReadAt(s + 2, ident, want) != want)
        return -1;
    if (std::strcmp(ident, "Exif") != 0)
        return 0;
    return ReadExif(src, s + 8, info, headerValid);
}

namespace {

// The exposure and F number rules shared by the process-wide and the private values.
void TakeExifValues(const CExifInfo& info, std::string& model, double& focal, std::string& date, double& exposure,
                    double& fNumber)
{
    model = info.Model;
    focal = info.FocalLength;
    date = info.DateTimeOriginal;
    if (info.ExposureTime > 0)
        exposure = info.ExposureTime;
    else if (info.ShutterSpeedValue > -20 && info.ShutterSpeedValue < 20)
        exposure = std::pow(2.0, -info.ShutterSpeedValue);
    if (info.FNumber > 0)
        fNumber = info.FNumber;
    else if (info.ApertureValue > -20 && info.ApertureValue < 20)
        fNumber = std::pow(2.0, info.ApertureValue / 2.0);
}

} // namespace

void ResetLastJpegValues(const std::string& path)
{
    LastJpegPath = path;
    LastExifModel.clear();
    LastExifDate.clear();
    LastExifFocalLength = 0.0;
    LastExifExposure = 0.0;
    LastExifFNumber = 0.0;
}

void CopyExifToLastValues(const CExifInfo& info)
{
    TakeExifValues(info, LastExifModel, LastExifFocalLength, LastExifDate, LastExifExposure, LastExifFNumber);
}

void CJpegCameraData::Reset(const std::string& filePath)
{
    *this = CJpegCameraData();
    path = filePath;
}

void CJpegCameraData::CopyExif(const CExifInfo& info)
{
    TakeExifValues(info, model, focalLength, date, exposure, fNumber);
}

CJpegCameraData CurrentJpegCameraData()
{
    CJpegCameraData d;
    d.path = LastJpegPath;
    d.model = LastExifModel;
    d.date = LastExifDate;
    d.focalLength = LastExifFocalLength;
    d.exposure = LastExifExposure;
    d.fNumber = LastExifFNumber;
    d.exif = ExifInfo;
    return d;
}

void PublishJpegCameraData(const CJpegCameraData& data)
{
    if (!data.exifRead)
        return;
    ExifInfo = data.exif;
    LastJpegPath = data.path;
    LastExifModel = data.model;
    LastExifDate = data.date;
    LastExifFocalLength = data.focalLength;
    LastExifExposure = data.exposure;
    LastExifFNumber = data.fNumber;
}
