// Path, file-kind, tile and byte helpers.
#include "common/helpers.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "common/value_types.h"

namespace {

std::string::size_type LastSeparator(const std::string& path)
{
    const auto pos = path.find_last_of("/\\");
    return pos;
}

// The last "." of the file name part; npos when none or when it opens the name.
std::string::size_type LastDot(const std::string& path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::string::npos;
    const auto sep = LastSeparator(path);
    if (sep != std::string::npos && dot < sep)
        return std::string::npos;
    if (sep != std::string::npos && dot == sep + 1)
        return std::string::npos;
    return dot;
}

int g_byteOrder = 73;

} // namespace

const std::string& ProjectExtension()
{
    static const std::string ext = "FIT";
    return ext;
}

std::string ToUpper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

std::string GetFileExt(const std::string& path)
{
    const auto dot = LastDot(path);
    return dot == std::string::npos ? std::string() : ToUpper(path.substr(dot + 1));
}

std::string GetFileName(const std::string& path)
{
    const auto sep = LastSeparator(path);
    return sep == std::string::npos ? std::string() : ToUpper(path.substr(sep + 1));
}

std::string GetFolder(const std::string& path)
{
    const auto sep = LastSeparator(path);
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string GetPathStem(const std::string& path)
{
    const auto dot = LastDot(path);
    return dot == std::string::npos ? std::string() : ToUpper(path.substr(0, dot));
}

void SplitFolderAndName(const std::string& path, std::string* folder, std::string* name)
{
    const auto sep = LastSeparator(path);
    if (sep == std::string::npos) {
        *folder = std::string();
        *name = path;
        return;
    }
    *folder = path.substr(0, sep + 1);
    *name = path.substr(sep + 1);
}

void SplitLastFolderAndName(const std::string& path, std::string* folder, std::string* name)
{
    const auto sep = LastSeparator(path);
    if (sep == std::string::npos) {
        *name = path;
        return;
    }
    *name = path.substr(sep + 1);
    const std::string part = path.substr(0, sep);
    const auto prev = part.find_last_of("/\\");
    if (prev == std::string::npos)
        *folder = part + path[sep];
    else
        *folder = part.substr(prev + 1) + path[sep];
}

std::string GetProgramPath()
{
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

FileKind GetFileKind(const std::string& path)
{
    const std::string ext = GetFileExt(path);
    if (ext == "JPG")
        return FILE_KIND_JPEG;
    if (ext == "BMP")
        return FILE_KIND_BMP;
    if (ext == "TIF")
        return FILE_KIND_TIFF;
    if (ext == "PNG")
        return FILE_KIND_PNG;
    if (ext == "MOV")
        return FILE_KIND_MOVIE;
    if (ext == "JPEG")
        return FILE_KIND_JPEG;
    if (ext == ProjectExtension())
        return FILE_KIND_PROJECT;
    return FILE_KIND_NONE;
}

std::string GetZoomLabel(int n)
{
    switch (n) {
    case 1: return " 100%";
    case 2: return " 50%";
    case 4: return " 25%";
    case 8: return " 12%";
    case 16: return " 6%";
    case 32: return " 3%";
    case 64: return " 2%";
    default: return " ";
    }
}

void DeleteFileIfExists(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        std::filesystem::remove(path, ec);
}

void IncludePoint(CRect* r, int x, int y)
{
    if (x < r->left)
        r->left = x;
    else if (x > r->right)
        r->right = x;
    if (y < r->top)
        r->top = y;
    else if (y > r->bottom)
        r->bottom = y;
}

void GetTileRect(CRect* out, int w, int h, int cw, int ch, int m, int c, int r)
{
    out->SetRectEmpty();
    if (cw <= 0 || ch <= 0)
        return;
    const int columns = Clamp((w - 2 * m - 1) / cw + 1, 1, 9999);
    const int rows = Clamp((h - 2 * m - 1) / ch + 1, 1, 9999);
    if (c >= columns || r >= rows)
        return;
    CRect t(0, 0, cw, ch);
    t.OffsetRect(m + cw * c, m + ch * r);
    if (c == 0)
        t.left -= m;
    if (w - t.right <= m)
        t.right += m;
    if (r == 0)
        t.top -= m;
    if (h - t.bottom <= m)
        t.bottom += m;
    CRect whole(0, 0, w, h);
    out->IntersectRect(t, whole);
}

int PackBytes(int a, int b, int c, int d)
{
    const uint32_t v = (static_cast<uint32_t>(a & 0xFF) << 24) | (static_cast<uint32_t>(b & 0xFF) << 16) |
                       (static_cast<uint32_t>(c & 0xFF) << 8) | static_cast<uint32_t>(d & 0xFF);
    return static_cast<int>(v);
}

void UnpackBytes(int v, int* a, int* b, int* c, int* d)
{
    const uint32_t u = static_cast<uint32_t>(v);
    *a = static_cast<int8_t>((u >> 24) & 0xFF);
    *b = static_cast<int8_t>((u >> 16) & 0xFF);
    *c = static_cast<int8_t>((u >> 8) & 0xFF);
    *d = static_cast<int8_t>(u & 0xFF);
}

int ReadOrderedInt(const uint8_t* bytes, int n, int order)
{
    if (order != -2)
        g_byteOrder = order;
    n = std::clamp(n, 0, 4);
    uint32_t v = 0;
    if (g_byteOrder == 77) {
        for (int i = 0; i < n; ++i)
            v = (v << 8) | bytes[i];
    } else {
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | bytes[i];
    }
    return static_cast<int>(v);
}

std::string Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}
