// The drawing language's layout (see setup_draw.h).
#include "setup/core/setup_draw.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "setup/core/setup_ini.h"

namespace setup {

namespace {

// Bands of a gradation: more than any screen shows, so a huge count cannot stall the painting.
constexpr int kMaxSteps = 4096;
// Tiles of one bitmap, for the same reason.
constexpr long kMaxTiles = 100000;
constexpr int kCoordLimit = 1 << 20;

std::vector<std::string> Fields(const std::string& s)
{
    std::vector<std::string> f;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t e = s.find(',', pos);
        f.push_back(s.substr(pos, e == std::string::npos ? std::string::npos : e - pos));
        if (e == std::string::npos)
            break;
        pos = e + 1;
    }
    return f;
}

int Clamp(long long v) { return static_cast<int>(std::clamp<long long>(v, -kCoordLimit, kCoordLimit)); }

int Coord(const std::string& s, int edge)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    if (i < s.size() && s[i] == '%')
        return Clamp(static_cast<long long>(LeadingInt(s.substr(i + 1)) * static_cast<double>(edge) * 0.01));
    return Clamp(LeadingInt(s));
}

uint32_t Rgb(int r, int g, int b)
{
    return static_cast<uint32_t>(r & 255) | (static_cast<uint32_t>(g & 255) << 8) | (static_cast<uint32_t>(b & 255) << 16);
}

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 255); }

} // namespace

int TargetOf(const std::string& word)
{
    auto starts = [&](const char* p) {
        const std::string w = p;
        return word.size() >= w.size() && EqualNoCase(word.substr(0, w.size()), w);
    };
    if (starts("install"))
        return -1;
    if (starts("versionup"))
        return -2;
    if (starts("uninstall"))
        return -3;
    if (starts("none"))
        return -4;
    return LeadingInt(word);
}

std::optional<int> PageSelector(const std::string& line)
{
    if (line.size() < 5 || !EqualNoCase(line.substr(0, 4), "page"))
        return std::nullopt;
    return TargetOf(line.substr(5));
}

std::optional<ReadmePage> FindPage(const std::vector<std::string>& lines, int selector)
{
    std::size_t i = 0;
    for (; i < lines.size(); ++i) {
        const auto s = PageSelector(lines[i]);
        if (s && *s == selector)
            break;
    }
    if (i == lines.size())
        return std::nullopt;
    ReadmePage page;
    for (++i; i < lines.size() && !PageSelector(lines[i]); ++i) {
        const std::string& l = lines[i];
        page.lines.push_back(l);
        for (int b = 0; b < 3; ++b) {
            const std::string word = "button" + std::to_string(b + 1) + ",";
            if (l.size() >= word.size() && EqualNoCase(l.substr(0, word.size()), word)) {
                const std::vector<std::string> f = Fields(l.substr(word.size()));
                page.buttons[b].target = f.empty() || f[0].empty() ? -4 : TargetOf(f[0]);
                page.buttons[b].label = f.size() > 1 ? f[1] : std::string();
                page.buttons[b].shown = page.buttons[b].target != -4;
            }
        }
    }
    return page;
}

void PaintCommands(SetupCanvas& canvas, const DrawRect& area, const std::vector<std::string>& lines,
                   const std::function<std::string(const std::string&)>& resolve)
{
    canvas.Fill(area, 0);
    int mode = kPoint;
    DrawRect rc;
    uint32_t color = 0;
    DrawFont font;
    const int W = area.right, H = area.bottom;

    auto text = [&](const std::string& t, bool single) {
        if (mode == kRect) {
            canvas.DrawText(rc, t, color, single);
        } else if (mode == kRight || mode == kBottom) {
            int w = 0, h = 0;
            canvas.TextSize(t, single, std::max(0, W - rc.left), w, h);
            canvas.DrawText({rc.left, rc.top, Clamp(static_cast<long long>(rc.left) + w), Clamp(static_cast<long long>(rc.top) + h)},
                            t, color, single);
            if (mode == kRight)
                rc.left = Clamp(static_cast<long long>(rc.left) + w);
            else
                rc.top = Clamp(static_cast<long long>(rc.top) + h);
        }
    };

    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '|') {
            text(line.substr(1), true);
            continue;
        }
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        const std::string word = line.substr(0, comma);
        const std::vector<std::string> a = Fields(line.substr(comma + 1));
        auto num = [&](std::size_t i, int dflt) { return i < a.size() && !a[i].empty() ? LeadingInt(a[i]) : dflt; };
        if (EqualNoCase(word, "page"))
            break;
        if (EqualNoCase(word, "mode")) {
            const std::string m = a[0];
            mode = EqualNoCase(m, "point") ? kPoint : EqualNoCase(m, "left") ? kLeft : EqualNoCase(m, "top") ? kTop
                 : EqualNoCase(m, "right") ? kRight : EqualNoCase(m, "bottom") ? kBottom
                 : EqualNoCase(m, "center") ? kCenter : EqualNoCase(m, "rect") ? kRect : kWhole;
        } else if (EqualNoCase(word, "rect")) {
            rc.left = a.size() > 0 ? Coord(a[0], W) : 0;
            rc.top = a.size() > 1 ? Coord(a[1], H) : 0;
            rc.right = a.size() > 2 ? Coord(a[2], W) : 0;
            rc.bottom = a.size() > 3 ? Coord(a[3], H) : 0;
        } else if (EqualNoCase(word, "gradation")) {
            const int r1 = num(0, 0), g1 = num(1, 0), b1 = num(2, 0), r2 = num(3, 0), g2 = num(4, 0), b2 = num(5, 0);
            int steps = a.size() > 6 && !a[6].empty() ? LeadingInt(a[6]) : 64;
            if (steps <= 1)
                steps = 2;
            steps = std::min(steps, kMaxSteps);
            const long long w = static_cast<long long>(rc.right) - rc.left, h = static_cast<long long>(rc.bottom) - rc.top;
            for (int i = 0; i < steps; ++i) {
                const uint32_t c = Rgb(r1 + (r2 - r1) * i / steps, g1 + (g2 - g1) * i / steps, b1 + (b2 - b1) * i / steps);
                const long long s0 = i, s1 = i + 1;
                DrawRect band = rc;
                switch (mode) {
                case kLeft: band.left = Clamp(rc.left + w * s0 / steps); band.right = Clamp(rc.left + w * s1 / steps); break;
                case kTop: band.top = Clamp(rc.top + h * s0 / steps); band.bottom = Clamp(rc.top + h * s1 / steps); break;
                case kRight: band.right = Clamp(rc.right - w * s0 / steps); band.left = Clamp(rc.right - w * s1 / steps); break;
                case kBottom: band.bottom = Clamp(rc.bottom - h * s0 / steps); band.top = Clamp(rc.bottom - h * s1 / steps); break;
                case kCenter:
                    band.left = Clamp(rc.left + w * s0 / (2 * steps));
                    band.right = Clamp(rc.right - w * s0 / (2 * steps));
                    band.top = Clamp(rc.top + h * s0 / (2 * steps));
                    band.bottom = Clamp(rc.bottom - h * s0 / (2 * steps));
                    break;
                case kRect:
                case kWhole: {
                    // No band layout of their own: bands from top to bottom of the rectangle
                    // (rect) or of the whole area.
                    const DrawRect& base = mode == kRect ? rc : area;
                    const long long bh = static_cast<long long>(base.bottom) - base.top;
                    band = base;
                    band.top = Clamp(base.top + bh * s0 / steps);
                    band.bottom = Clamp(base.top + bh * s1 / steps);
                    break;
                }
                default:
                    continue; // a point has no extent to fill
                }
                canvas.Fill(band, c);
            }
            color = Rgb(r2, g2, b2);
        } else if (EqualNoCase(word, "fill")) {
            uint32_t c;
            if (a.size() < 2 || num(0, 0) < 0)
                c = canvas.ButtonFace();
            else
                c = Rgb(num(0, 0), num(1, 0), a.size() > 2 && !a[2].empty() ? num(2, 0) : Channel(color, 16));
            if (mode == kRect)
                canvas.Fill(rc, c);
            else if (mode == kWhole)
                canvas.Fill(area, c);
        } else if (EqualNoCase(word, "height")) {
            font.height = a.empty() ? 0 : Coord(a[0], H);
            font.width = 0;
            canvas.SetFont(font);
        } else if (EqualNoCase(word, "font")) {
            const int r = num(0, 0);
            const int g = a.size() > 1 && !a[1].empty() ? num(1, 0) : Channel(color, 8);
            const int b = a.size() > 2 && !a[2].empty() ? num(2, 0) : Channel(color, 16);
            color = Rgb(r, g, b);
            font.height = a.size() > 3 ? Coord(a[3], H) : 0;
            int* fields[] = {&font.width, &font.escapement, &font.orientation, &font.weight, &font.italic,
                             &font.underline, &font.strikeOut, &font.charSet, &font.outPrecision,
                             &font.clipPrecision, &font.quality, &font.pitchAndFamily};
            for (std::size_t k = 0; k < 12; ++k)
                *fields[k] = num(4 + k, 0);
            font.face = a.size() > 16 ? a[16] : std::string();
            canvas.SetFont(font);
        } else if (EqualNoCase(word, "bitmap")) {
            const std::string file = resolve(a[0]);
            int bw = 0, bh = 0;
            if (!canvas.ImageSize(file, bw, bh) || bw <= 0 || bh <= 0)
                continue;
            long tiles = 0;
            switch (mode) {
            case kPoint:
                canvas.DrawImage(file, {rc.left, rc.top, Clamp(static_cast<long long>(rc.left) + bw), Clamp(static_cast<long long>(rc.top) + bh)});
                rc = {0, 0, bw, bh};
                break;
            case kLeft:
            case kRight: {
                const int x = mode == kLeft ? 0 : W - bw;
                for (int y = 0; y < H && tiles < kMaxTiles; y += bh, ++tiles)
                    canvas.DrawImage(file, {x, y, x + bw, y + bh});
                rc = mode == kLeft ? DrawRect{0, 0, bw, H} : DrawRect{W - bw, 0, W, H};
                break;
            }
            case kTop:
            case kBottom: {
                const int y = mode == kTop ? 0 : H - bh;
                for (int x = 0; x < W && tiles < kMaxTiles; x += bw, ++tiles)
                    canvas.DrawImage(file, {x, y, x + bw, y + bh});
                rc = mode == kTop ? DrawRect{0, 0, W, bh} : DrawRect{0, H - bh, W, H};
                break;
            }
            case kCenter: {
                const int x = (W - bw) / 2, y = (H - bh) / 2;
                rc = {x, y, x + bw, y + bh};
                canvas.DrawImage(file, rc);
                break;
            }
            case kRect:
                canvas.DrawImage(file, rc);
                break;
            default:
                for (int y = 0; y < H && tiles < kMaxTiles; y += bh)
                    for (int x = 0; x < W && tiles < kMaxTiles; x += bw, ++tiles)
                        canvas.DrawImage(file, {x, y, x + bw, y + bh});
                rc = area;
                break;
            }
        } else if (EqualNoCase(word, "text")) {
            std::ifstream in(resolve(a[0]), std::ios::binary);
            if (!in)
                continue;
            std::string t;
            char buf[4096];
            while (t.size() < (1u << 20) && in.read(buf, sizeof buf).gcount() > 0)
                t.append(buf, static_cast<std::size_t>(in.gcount()));
            text(t, false);
        } else if (EqualNoCase(word, "string")) {
            text(line.substr(comma + 1), true);
        }
        // "meta" has no player here; unknown words are ignored.
    }
}

} // namespace setup
