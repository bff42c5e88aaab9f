// Writing the movie: frames encoded as H.264 into a QuickTime (".mov") file through ffmpeg's
// libraries. The file is built beside its target under a temporary name and moved into place
// only when the last frame and the file's index are written, so a failed run never leaves half
// a movie under the target's name, nor touches a movie already there.
#pragma once

#include <cstdint>
#include <string>

#include "imagefile/staged_output_file.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;

namespace movie {

// ffmpeg's libraries report only errors (not the encoder's statistics) on standard error.
void QuietLibraryLogs();

class CMovieWriter {
public:
    CMovieWriter() = default;
    ~CMovieWriter();
    CMovieWriter(const CMovieWriter&) = delete;
    CMovieWriter& operator=(const CMovieWriter&) = delete;

    // Opens the H.264 encoder and the staged file for frames of width x height (both even) at
    // `fps` frames a second. False with a reason when no H.264 encoder opens or the file cannot
    // be created.
    bool Open(const std::string& path, int width, int height, int fps, std::string* error);
    // Two frames are kept, so that one can be painted while the other is encoded.
    // PrepareFrame gives the planes of the frame in `slot` (0 or 1) to paint (YUV 4:2:0, studio
    // range BT.709: Y, U, V with their row strides); EncodeFrame then encodes it as the next
    // frame of the movie. A slot is prepared again only after its frame was encoded.
    bool PrepareFrame(int slot, uint8_t* planes[3], int strides[3], std::string* error);
    bool EncodeFrame(int slot, std::string* error);
    // Drains the encoder, writes the file's index and moves the file into place.
    bool Finish(std::string* error);

    // The name of the encoder in use ("libx264"), once open.
    const std::string& EncoderName() const { return m_encoderName; }

private:
    bool Drain(bool flush, std::string* error);
    bool Fail(const std::string& what, int code, std::string* error);
    void Close();

    static int WritePacket(void* opaque, const uint8_t* data, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);

    CStagedOutputFile m_file;
    int64_t m_position = 0; // where the muxer writes next
    int64_t m_filePosition = 0; // where the file stands after the last write
    int64_t m_end = 0;      // the file's length so far
    AVFormatContext* m_format = nullptr;
    AVIOContext* m_io = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVFrame* m_frames[2] = {nullptr, nullptr};
    AVPacket* m_packet = nullptr;
    int64_t m_nextPts = 0;
    bool m_headerWritten = false;
    std::string m_encoderName;
};

} // namespace movie
