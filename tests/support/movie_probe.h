// Looks into a movie file with ffmpeg's command-line tools (ffprobe, ffmpeg): its container, its
// video stream and the pixels of single frames.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_program.h"

namespace testsupport {

struct MovieFacts {
    std::string formatName; // "mov,mp4,m4a,3gp,3g2,mj2" for the QuickTime family
    std::string majorBrand; // "qt  " for a QuickTime movie
    std::string codec;
    std::string frameRate;
    int width = 0;
    int height = 0;
    int frames = 0; // frames actually decoded
};

inline bool HaveMovieTools()
{
    return std::system("ffprobe -version >/dev/null 2>&1") == 0 && std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

inline MovieFacts ProbeMovie(const std::string& path)
{
    const ProgramRun run = RunProgram("ffprobe",
                                      "-v error -count_frames -select_streams v:0 -show_entries "
                                      "stream=codec_name,width,height,nb_read_frames,r_frame_rate:"
                                      "format=format_name:format_tags=major_brand -of default=nw=1 '" +
                                          path + "'",
                                      false);
    MovieFacts facts;
    size_t at = 0;
    while (at < run.output.size()) {
        size_t end = run.output.find('\n', at);
        if (end == std::string::npos)
            end = run.output.size();
        const std::string line = run.output.substr(at, end - at);
        at = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "format_name")
            facts.formatName = value;
        else if (key == "TAG:major_brand")
            facts.majorBrand = value;
        else if (key == "codec_name")
            facts.codec = value;
        else if (key == "r_frame_rate")
            facts.frameRate = value;
        else if (key == "width")
            facts.width = std::atoi(value.c_str());
        else if (key == "height")
            facts.height = std::atoi(value.c_str());
        else if (key == "nb_read_frames")
            facts.frames = std::atoi(value.c_str());
    }
    return facts;
}

// Frame n decoded to full-range RGB (3 bytes a pixel, rows top first), read as BT.709 studio
// range; empty when it cannot be decoded.
inline std::vector<uint8_t> DecodeFrame(const std::string& path, int n)
{
    const ProgramRun run =
        RunProgram("ffmpeg",
                   "-v error -i '" + path + "' -vf 'select=eq(n\\," + std::to_string(n) +
                       "),scale=in_color_matrix=bt709:in_range=tv:out_range=pc,format=rgb24' -frames:v 1 -f rawvideo -",
                   false);
    return std::vector<uint8_t>(run.output.begin(), run.output.end());
}

} // namespace testsupport
