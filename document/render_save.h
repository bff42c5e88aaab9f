// Render and Save: the rules around writing the panorama (the proposed output name, the size
// limits and disk estimate of each file kind, the title a new project takes from its output),
// and the replaceable services the command uses (free disk space, the band renderer, the
// folder of the external movie program).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CMcomp;
class CPixelArray;

namespace render_save {

// Output rows per band handed to the writers.
constexpr int kBandRows = 16;
// Longest output path accepted.
constexpr size_t kMaxOutputPath = 240;
// The save dialog's filter and the extension of each of its filters (entry 0 unused, the last
// one, all files, never applied).
extern const char* const kOutputFilter;
const std::vector<std::string>& OutputFilterExtensions();

// The name and filter the save dialog starts with.
struct OutputProposal {
    std::string name;       // with "." and the extension
    std::string extension;  // "JPG", "BMP" or "MOV"
    int filterIndex = 1;
};
// From the last output path, else the project path, else the first piece's picture (its folder,
// "/Fit" and its upper-cased name), else "FitImage". A name is cut at the last "." of its file
// name; TIFF and PNG are not remembered as the default kind. Area mode 3 always proposes MOV.
OutputProposal ProposeOutputName(const std::string& lastOutput, const std::string& projectPath,
                                 const std::string& firstPicture, int areaMode);

// Whether an output of w x h pixels can be written as that file kind (2 BMP .. 6 movie).
bool FitsFileKind(int kind, int width, int height);
// Pixels the disk must hold for that kind; the free-space test asks 3 bytes per pixel.
int64_t DiskEstimate(int kind, int width, int height);
// The title a new project takes after its output was written: the file name cut before its last
// "."; empty when the name has no such ".".
std::string TitleFromOutputPath(const std::string& path);

// Bytes free for an unprivileged writer in the folder; below 0 when it cannot be told.
using FreeSpaceQuery = std::function<int64_t(const std::string& folder)>;
// nullptr restores the file-system query.
void SetFreeSpaceQuery(FreeSpaceQuery query);
int64_t FreeSpace(const std::string& folder);

// Renders the bands of order in that order and hands each to sink; 1 when all were handed over,
// below 0 on failure or a break (-5 or less: memory ran out). The plain renderer drives the
// engine's parallel band renderer; tests install their own.
using BandSink = std::function<int(int band, const CPixelArray& pixels)>;
using BandRenderer = std::function<int(CMcomp& comp, const std::vector<int>& order, const BandSink& sink)>;
void SetBandRenderer(BandRenderer renderer);
int RenderBands(CMcomp& comp, const std::vector<int>& order, const BandSink& sink);

// The folder searched for the external movie program ("" restores the program's own folder).
void SetMovieProgramFolder(const std::string& folder);
// The movie program's full path, or "" when it is in neither place.
std::string FindMovieProgram();

// Every replaceable service back to the plain one.
void ResetServices();

} // namespace render_save
