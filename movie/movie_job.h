// The movie program's run: its two command lines, the movie made from the parameter file, and
// what is left behind (on success nothing but the movie; on failure the temporary files and a
// short log beside the movie).
#pragma once

#include <string>
#include <vector>

namespace movie {

// The argument of the first start, which names no file: the program answers that it is there.
constexpr const char* kProbeArgument = "$$$$$$$$.bmp";

// Makes the movie of the turned BMP spanning `span` degrees. True on success; otherwise false
// with a reason, and no file under the movie's name is touched.
bool MakeMovie(const std::string& bmpPath, const std::string& moviePath, int span, std::string* error);

// The whole program on its arguments (without the program's name): 0 on success and for the
// first start, 1 when the movie was not made, 2 for a wrong command line.
int RunMovieProgram(const std::vector<std::string>& arguments);

} // namespace movie
