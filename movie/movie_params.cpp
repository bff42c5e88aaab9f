// Reading the movie program's parameter file.
#include "movie/movie_params.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "common/helpers.h"

namespace {

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ec);
    if (ec)
        return a == b;
    const std::filesystem::path cb = std::filesystem::weakly_canonical(b, ec);
    return ec ? a == b : ca == cb;
}

bool EndsWithBmp(const std::string& s)
{
    return s.size() > 4 && EqualsNoCase(s.substr(s.size() - 4), ".bmp");
}

} // namespace

bool ParseMovieParams(const std::string& text, CMovieParams* params, std::string* error)
{
    std::string line = text;
    // The document writes no line end; one added by hand is forgiven.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.empty()) {
        *error = "the parameter file is empty";
        return false;
    }
    if (line.find('\0') != std::string::npos || line.find('\n') != std::string::npos) {
        *error = "the parameter file is not one line of text";
        return false;
    }
    const size_t lastComma = line.rfind(',');
    if (lastComma == std::string::npos) {
        *error = "the parameter file does not read \"picture,movie,degrees\"";
        return false;
    }
    const std::string digits = line.substr(lastComma + 1);
    long span = 0;
    bool number = !digits.empty() && digits.size() <= 3;
    for (char c : digits) {
        number = number && c >= '0' && c <= '9';
        span = span * 10 + (c - '0');
    }
    if (!number || span < 1 || span > kMaxSpan) {
        *error = "the panorama's span \"" + digits + "\" is not a number of degrees from 1 to " + std::to_string(kMaxSpan);
        return false;
    }
    const std::string paths = line.substr(0, lastComma);
    std::vector<size_t> splits;
    for (size_t at = paths.find(','); at != std::string::npos; at = paths.find(',', at + 1))
        if (EndsWithBmp(paths.substr(0, at)) && at + 1 < paths.size())
            splits.push_back(at);
    if (splits.empty()) {
        *error = "the parameter file names no \".bmp\" picture followed by a movie";
        return false;
    }
    size_t chosen = splits.front();
    for (size_t at : splits) {
        if (IsRegularFile(paths.substr(0, at))) {
            chosen = at;
            break;
        }
    }
    params->bmpPath = paths.substr(0, chosen);
    params->moviePath = paths.substr(chosen + 1);
    params->span = static_cast<int>(span);
    // The rendered panorama is removed once the movie is made: the movie must be another file.
    if (SameFile(params->bmpPath, params->moviePath)) {
        *error = "the movie would be written over the rendered panorama";
        return false;
    }
    return true;
}

bool ReadMovieParams(const std::string& path, CMovieParams* params, std::string* error)
{
    if (!IsRegularFile(path)) {
        *error = "the parameter file " + path + " does not exist";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = "the parameter file " + path + " cannot be read";
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= size_t(kMaxParamFileBytes))
        text.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        *error = "the parameter file " + path + " cannot be read";
        return false;
    }
    if (text.size() > size_t(kMaxParamFileBytes)) {
        *error = "the parameter file " + path + " is too long to be one";
        return false;
    }
    if (!ParseMovieParams(text, params, error))
        return false;
    if (SameFile(params->moviePath, path)) {
        *error = "the movie would be written over its parameter file";
        return false;
    }
    return true;
}
