// The parameter file that Render and Save leaves for the movie program: one line without a line
// end, "BMP path,movie path,span in degrees".
#pragma once

#include <string>

struct CMovieParams {
    std::string bmpPath;
    std::string moviePath;
    int span = 0; // the panorama's horizontal span in whole degrees, 1 to kMaxSpan
};

// The widest span the renderer reports (an area wider than a full turn repeats part of it).
constexpr int kMaxSpan = 450;

// Largest parameter file read: three paths' worth of text.
constexpr long kMaxParamFileBytes = 65536;

// Reads and checks the parameter file. False with a reason for the user when the file cannot be
// read, is not "BMP path,movie path,span", or names a movie that would replace the BMP or the
// parameter file itself (both are removed once the movie is made).
bool ReadMovieParams(const std::string& path, CMovieParams* params, std::string* error);

// The same from the file's text. Paths may hold commas: the BMP path is the text before a comma
// that follows ".bmp"; when several commas do, the first split whose BMP exists is taken.
// False as well when the movie and the BMP are one file.
bool ParseMovieParams(const std::string& text, CMovieParams* params, std::string* error);
