// Reading the camera file of the synthetic views, the conversion of its conventions into the
// engine's picture orientation, and the sampling and PSNR helpers of the render tests.
#include "tests/engine/test_render_truth.h"

#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace render_truth {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A small JSON reader: enough for the camera file (objects, arrays, numbers, strings).
struct CJson {
    enum Kind { kNull, kNumber, kString, kArray, kObject, kBool } kind = kNull;
    double number = 0.0;
    std::string text;
    std::vector<CJson> items;
    std::map<std::string, CJson> members;

    const CJson* Find(const std::string& key) const
    {
        auto it = members.find(key);
        return it == members.end() ? nullptr : &it->second;
    }
};

class CJsonReader {
public:
    explicit CJsonReader(const std::string& s) : m_s(s) {}

    bool Parse(CJson* out)
    {
        if (!Value(out, 0))
            return false;
        Skip();
        return m_pos == m_s.size();
    }

private:
    void Skip()
    {
        while (m_pos < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[m_pos])))
            ++m_pos;
    }
    bool Eat(char c)
    {
        Skip();
        if (m_pos < m_s.size() && m_s[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool String(std::string* out)
    {
        if (!Eat('"'))
            return false;
        out->clear();
        while (m_pos < m_s.size() && m_s[m_pos] != '"') {
            char c = m_s[m_pos++];
            if (c == '\\' && m_pos < m_s.size())
                c = m_s[m_pos++];
            out->push_back(c);
        }
        return m_pos++ < m_s.size();
    }
    bool Value(CJson* out, int depth)
    {
        if (depth > 32)
            return false;
        Skip();
        if (m_pos >= m_s.size())
            return false;
        char c = m_s[m_pos];
        if (c == '{') {
            ++m_pos;
            out->kind = CJson::kObject;
            if (Eat('}'))
                return true;
            do {
                std::string key;
                if (!String(&key) || !Eat(':') || !Value(&out->members[key], depth + 1))
                    return false;
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++m_pos;
            out->kind = CJson::kArray;
            if (Eat(']'))
                return true;
            do {
                out->items.emplace_back();
                if (!Value(&out->items.back(), depth + 1))
                    return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            out->kind = CJson::kString;
            return String(&out->text);
        }
        for (const char* word : {"true", "false", "null"}) {
            if (m_s.compare(m_pos, std::strlen(word), word) == 0) {
                m_pos += std::strlen(word);
                out->kind = word[0] == 'n' ? CJson::kNull : CJson::kBool;
                out->number = word[0] == 't' ? 1.0 : 0.0;
                return true;
            }
        }
        const char* begin = m_s.c_str() + m_pos;
        char* end = nullptr;
        out->number = std::strtod(begin, &end);
        if (end == begin)
            return false;
        out->kind = CJson::kNumber;
        m_pos += static_cast<size_t>(end - begin);
        return true;
    }

    const std::string& m_s;
    size_t m_pos = 0;
};

bool NumberAt(const CJson* array, size_t i, double* out)
{
    if (!array || array->kind != CJson::kArray || i >= array->items.size() ||
        array->items[i].kind != CJson::kNumber)
        return false;
    *out = array->items[i].number;
    return true;
}

// Bilinear sample at (x, y) in pixel-centre coordinates; x wraps when wrapX is set.
void Bilinear(const CImage& img, double x, double y, bool wrapX, double rgb[3])
{
    int x0 = static_cast<int>(std::floor(x));
    int y0 = static_cast<int>(std::floor(y));
    double fx = x - x0;
    double fy = y - y0;
    auto at = [&](int xi, int yi) {
        if (wrapX)
            xi = ((xi % img.width) + img.width) % img.width;
        else
            xi = std::clamp(xi, 0, img.width - 1);
        yi = std::clamp(yi, 0, img.height - 1);
        return img.pixels[static_cast<size_t>(yi) * img.width + xi];
    };
    uint32_t c00 = at(x0, y0), c10 = at(x0 + 1, y0), c01 = at(x0, y0 + 1), c11 = at(x0 + 1, y0 + 1);
    for (int ch = 0; ch < 3; ++ch) {
        int shift = 8 * ch;
        double a = (c00 >> shift) & 0xFF, b = (c10 >> shift) & 0xFF;
        double c = (c01 >> shift) & 0xFF, d = (c11 >> shift) & 0xFF;
        rgb[ch] = (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
    }
}

// Truth world vector of an engine direction.
void WorldVector(CDPoint engineDirection, double v[3])
{
    double lon = engineDirection.x;
    double lat = -engineDirection.y;
    v[0] = std::cos(lat) * std::sin(lon);
    v[1] = -std::sin(lat);
    v[2] = std::cos(lat) * std::cos(lon);
}

// Pixel position (centre coordinates) of an engine direction in a view; false behind it.
bool ViewPixel(const CTruthView& view, double focal, int w, int h, CDPoint engineDirection,
               double* u, double* v)
{
    double world[3];
    WorldVector(engineDirection, world);
    double cam[3];
    for (int i = 0; i < 3; ++i)
        cam[i] = view.rotation[0][i] * world[0] + view.rotation[1][i] * world[1] +
                 view.rotation[2][i] * world[2];
    if (cam[2] <= 1e-9)
        return false;
    *u = focal * cam[0] / cam[2] + w / 2.0 - 0.5;
    *v = focal * cam[1] / cam[2] + h / 2.0 - 0.5;
    return true;
}

} // namespace

bool LoadTruth(const std::string& path, CTruth* truth, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    CJson root;
    if (!CJsonReader(text).Parse(&root) || root.kind != CJson::kObject) {
        *error = "not a JSON object: " + path;
        return false;
    }
    const CJson* source = root.Find("source_equirect");
    const CJson* sourceSize = root.Find("source_size");
    const CJson* imageSize = root.Find("image_size");
    const CJson* focal = root.Find("focal_px");
    const CJson* views = root.Find("views");
    if (!source || !sourceSize || !imageSize || !focal || !views || views->kind != CJson::kArray) {
        *error = "missing fields in " + path;
        return false;
    }
    truth->sourceFile = source->text;
    auto integer = [](const CJson* array, size_t i) {
        double v = 0.0;
        return NumberAt(array, i, &v) ? static_cast<int>(v) : 0;
    };
    truth->sourceWidth = integer(sourceSize, 0);
    truth->sourceHeight = integer(sourceSize, 1);
    truth->imageWidth = integer(imageSize, 0);
    truth->imageHeight = integer(imageSize, 1);
    truth->focal = focal->number;
    for (const CJson& item : views->items) {
        CTruthView view;
        const CJson* file = item.Find("file");
        const CJson* rot = item.Find("R_world_from_camera");
        if (!file || !rot || rot->items.size() != 3) {
            *error = "a view without file or rotation";
            return false;
        }
        view.file = file->text;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (!NumberAt(&rot->items[r], c, &view.rotation[r][c])) {
                    *error = "bad rotation of " + view.file;
                    return false;
                }
        if (const CJson* samples = item.Find("samples_u_v_lon_lat")) {
            for (const CJson& s : samples->items) {
                std::array<double, 4> row{};
                for (int k = 0; k < 4; ++k)
                    NumberAt(&s, k, &row[k]);
                view.samples.push_back(row);
            }
        }
        truth->views.push_back(std::move(view));
    }
    if (truth->views.empty() || truth->imageWidth <= 0 || truth->focal <= 0) {
        *error = "no usable views in " + path;
        return false;
    }
    return true;
}

// The truth rotation is Ry(lon) Rx(lat) Rz(roll); the engine's picture is turned by
// Ry(yaw) Rx(-pitch) Rz(roll) in the same frame, so yaw = lon, pitch = -lat, roll = roll.
COrientation EngineOrientation(const CTruthView& view)
{
    const auto& R = view.rotation;
    COrientation o;
    double lat = std::asin(std::clamp(-R[1][2], -1.0, 1.0));
    o.yaw = std::atan2(R[0][2], R[2][2]);
    o.pitch = -lat;
    o.roll = std::atan2(R[1][0], R[1][1]);
    return o;
}

bool SampleEquirect(const CImage& equirect, CDPoint d, double rgb[3])
{
    if (!(d.y > -kPi / 2 && d.y < kPi / 2) || !std::isfinite(d.x))
        return false;
    double lon = std::remainder(d.x, 2 * kPi);
    double x = lon * equirect.width / (2 * kPi) + equirect.width / 2.0 - 0.5;
    double y = d.y * equirect.height / kPi + equirect.height / 2.0 - 0.5;
    Bilinear(equirect, x, y, true, rgb);
    return true;
}

bool SampleView(const CImage& image, const CTruthView& view, double focal, CDPoint d,
                double margin, double rgb[3])
{
    double u = 0.0, v = 0.0;
    if (!ViewPixel(view, focal, image.width, image.height, d, &u, &v))
        return false;
    if (u < margin || v < margin || u > image.width - 1 - margin || v > image.height - 1 - margin)
        return false;
    Bilinear(image, u, v, false, rgb);
    return true;
}

bool AnyViewSees(const CTruth& truth, CDPoint d, double margin)
{
    for (const CTruthView& view : truth.views) {
        double u = 0.0, v = 0.0;
        if (ViewPixel(view, truth.focal, truth.imageWidth, truth.imageHeight, d, &u, &v) &&
            u >= margin && v >= margin && u <= truth.imageWidth - 1 - margin &&
            v <= truth.imageHeight - 1 - margin)
            return true;
    }
    return false;
}

bool WriteTruthProject(const CTruth& truth, const std::string& viewsDir, const std::string& fitPath,
                       int projection, std::string* error)
{
    SetEngineModeFlags();
    CMcHost host;
    CMcCore core;
    core.m_Host = &host;
    core.m_CommonFocal = truth.focal;
    core.m_Projection = projection;
    core.m_Distortion = 0.0;
    core.m_BlendStrength = 0;
    for (const CTruthView& view : truth.views) {
        CKpic* picture = core.OpenPicture(viewsDir + "/" + view.file);
        if (!picture) {
            *error = "cannot open " + view.file;
            return false;
        }
        const COrientation o = EngineOrientation(view);
        picture->m_Status = 3;
        picture->m_Focal = truth.focal;
        picture->m_DefaultFocal = truth.focal;
        picture->m_Direction = CDPoint(o.yaw, o.pitch);
        picture->m_Roll = o.roll;
    }
    core.SortPlacedFirst();
    const ProjectFileResult saved = SaveProjectFile(core, fitPath);
    if (saved.code != 1) {
        *error = "cannot save " + fitPath + ": " + saved.message;
        return false;
    }
    return true;
}

void CPsnr::Add(uint32_t colour, const double reference[3])
{
    for (int ch = 0; ch < 3; ++ch) {
        double e = static_cast<double>((colour >> (8 * ch)) & 0xFF) - reference[ch];
        m_sum += e * e;
    }
    m_count += 3;
}

double CPsnr::Value() const
{
    if (m_count == 0)
        return 0.0;
    double mse = m_sum / static_cast<double>(m_count);
    if (mse <= 1e-12)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace render_truth
