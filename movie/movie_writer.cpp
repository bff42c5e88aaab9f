// The H.264 QuickTime writer on ffmpeg's libraries, writing through a staged output file.
#include "movie/movie_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <thread>

namespace movie {

namespace {

constexpr int kIoBufferBytes = 1 << 16;
constexpr unsigned kMaxEncoderThreads = 8;

std::string AvText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

#if LIBAVFORMAT_VERSION_MAJOR < 61
using WriteBuffer = uint8_t*;
#else
using WriteBuffer = const uint8_t*;
#endif

} // namespace

void QuietLibraryLogs() { av_log_set_level(AV_LOG_ERROR); }

CMovieWriter::~CMovieWriter() { Close(); }

void CMovieWriter::Close()
{
    if (m_codec)
        avcodec_free_context(&m_codec);
    if (m_format) {
        avformat_free_context(m_format);
        m_format = nullptr;
    }
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    for (AVFrame*& frame : m_frames)
        if (frame)
            av_frame_free(&frame);
    if (m_packet)
        av_packet_free(&m_packet);
    m_stream = nullptr;
    m_headerWritten = false;
    if (m_file.IsOpen())
        m_file.Discard();
}

bool CMovieWriter::Fail(const std::string& what, int code, std::string* error)
{
    // A failed write of the file says why in the system's words; the libraries' code says less.
    const int fileError = m_file.IsOpen() || m_file.Failed() ? LastStagedOutputError() : 0;
    if (fileError != 0)
        *error = what + ": " + StagedOutputErrorText(fileError);
    else
        *error = code == 0 ? what : what + " (" + AvText(code) + ")";
    Close();
    return false;
}

int CMovieWriter::WritePacket(void* opaque, const uint8_t* data, int size)
{
    auto* self = static_cast<CMovieWriter*>(opaque);
    // The muxer mostly writes on where it stopped; it goes back only to fill in sizes.
    const bool ok = self->m_position == self->m_filePosition
                        ? self->m_file.Write(data, size_t(size))
                        : self->m_file.WriteAt(uint64_t(self->m_position), data, size_t(size));
    if (!ok)
        return AVERROR(EIO);
    self->m_position += size;
    self->m_filePosition = self->m_position;
    self->m_end = std::max(self->m_end, self->m_position);
    return size;
}

int64_t CMovieWriter::Seek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<CMovieWriter*>(opaque);
    if (whence & AVSEEK_SIZE)
        return self->m_end;
    int64_t to = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = self->m_position + offset; break;
    case SEEK_END: to = self->m_end + offset; break;
    default: return AVERROR(EINVAL);
    }
    if (to < 0)
        return AVERROR(EINVAL);
    self->m_position = to;
    return to;
}

bool CMovieWriter::Open(const std::string& path, int width, int height, int fps, std::string* error)
{
    Close();
    m_position = m_filePosition = m_end = 0;
    m_nextPts = 0;

    // The encoder first: without one, nothing is created.
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec)
        return Fail("ffmpeg's libavcodec has no H.264 encoder (libx264)", 0, error);
    m_encoderName = codec->name;
    m_codec = avcodec_alloc_context3(codec);
    m_frames[0] = av_frame_alloc();
    m_frames[1] = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_codec || !m_frames[0] || !m_frames[1] || !m_packet)
        return Fail("there is not enough memory for the movie's encoder", AVERROR(ENOMEM), error);
    m_codec->width = width;
    m_codec->height = height;
    m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
    m_codec->time_base = AVRational{1, fps};
    m_codec->framerate = AVRational{fps, 1};
    // Each encoder thread works on a frame of its own: a few of them keep the memory to a few
    // frames and still keep the processors busy.
    m_codec->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, kMaxEncoderThreads));
    m_codec->gop_size = 3 * fps; // a key frame every 3 s, so that players can seek
    m_codec->color_primaries = AVCOL_PRI_BT709;
    m_codec->color_trc = AVCOL_TRC_BT709;
    m_codec->colorspace = AVCOL_SPC_BT709;
    m_codec->color_range = AVCOL_RANGE_MPEG;
    if (m_encoderName == "libx264") {
        av_opt_set(m_codec->priv_data, "preset", "superfast", 0);
        av_opt_set(m_codec->priv_data, "crf", "20", 0);
        // A steady pan has no cuts and an even pace: a fixed frame pattern without look-ahead
        // loses nothing there, and the look-ahead thread would hold up the encoder's others.
        av_opt_set(m_codec->priv_data, "x264-params", "rc-lookahead=0:b-adapt=0:scenecut=0", 0);
    } else {
        m_codec->bit_rate = int64_t(width) * height * fps / 8;
    }

    const AVOutputFormat* format = av_guess_format("mov", nullptr, nullptr);
    if (!format)
        return Fail("ffmpeg's libavformat cannot write QuickTime movies", 0, error);
    int rc = avformat_alloc_output_context2(&m_format, format, nullptr, nullptr);
    if (rc < 0 || !m_format)
        return Fail("the movie file cannot be set up", rc, error);
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    rc = avcodec_open2(m_codec, codec, nullptr);
    if (rc < 0)
        return Fail("the H.264 encoder " + m_encoderName + " cannot be opened", rc, error);

    m_stream = avformat_new_stream(m_format, nullptr);
    if (!m_stream)
        return Fail("the movie file cannot be set up", AVERROR(ENOMEM), error);
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = m_codec->framerate;
    rc = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
    if (rc < 0)
        return Fail("the movie file cannot be set up", rc, error);

    for (AVFrame* frame : m_frames) {
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = width;
        frame->height = height;
        rc = av_frame_get_buffer(frame, 0);
        if (rc < 0)
            return Fail("there is not enough memory for the movie's frames", rc, error);
    }

    if (!m_file.Open(path))
        return Fail("the movie " + path + " cannot be created", 0, error);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return Fail("there is not enough memory for the movie file", AVERROR(ENOMEM), error);
    m_io = avio_alloc_context(
        buffer, kIoBufferBytes, 1, this, nullptr,
        [](void* opaque, WriteBuffer data, int size) { return WritePacket(opaque, data, size); }, &CMovieWriter::Seek);
    if (!m_io) {
        av_free(buffer);
        return Fail("there is not enough memory for the movie file", AVERROR(ENOMEM), error);
    }
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    rc = avformat_write_header(m_format, nullptr);
    if (rc < 0)
        return Fail("the movie " + path + " cannot be written", rc, error);
    m_headerWritten = true;
    return true;
}

bool CMovieWriter::Drain(bool flush, std::string* error)
{
    for (;;) {
        int rc = avcodec_receive_packet(m_codec, m_packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return rc == AVERROR(EAGAIN) || flush;
        if (rc < 0)
            return Fail("the H.264 encoder failed", rc, error);
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        rc = av_interleaved_write_frame(m_format, m_packet);
        if (rc < 0)
            return Fail("the movie could not be written", rc, error);
    }
}

bool CMovieWriter::PrepareFrame(int slot, uint8_t* planes[3], int strides[3], std::string* error)
{
    if (!m_headerWritten || slot < 0 || slot > 1) {
        *error = "the movie is not open";
        return false;
    }
    AVFrame* frame = m_frames[slot];
    const int rc = av_frame_make_writable(frame);
    if (rc < 0)
        return Fail("there is not enough memory for the movie's frames", rc, error);
    for (int i = 0; i < 3; ++i) {
        planes[i] = frame->data[i];
        strides[i] = frame->linesize[i];
    }
    return true;
}

bool CMovieWriter::EncodeFrame(int slot, std::string* error)
{
    if (!m_headerWritten || slot < 0 || slot > 1) {
        *error = "the movie is not open";
        return false;
    }
    AVFrame* frame = m_frames[slot];
    frame->pts = m_nextPts++;
    const int rc = avcodec_send_frame(m_codec, frame);
    if (rc < 0)
        return Fail("the H.264 encoder failed", rc, error);
    return Drain(false, error);
}

bool CMovieWriter::Finish(std::string* error)
{
    if (!m_headerWritten) {
        *error = "the movie is not open";
        return false;
    }
    int rc = avcodec_send_frame(m_codec, nullptr);
    if (rc < 0)
        return Fail("the H.264 encoder failed", rc, error);
    if (!Drain(true, error))
        return false;
    rc = av_write_trailer(m_format);
    m_headerWritten = false;
    if (rc < 0)
        return Fail("the movie's index could not be written", rc, error);
    avio_flush(m_io);
    if (m_io->error < 0)
        return Fail("the movie could not be written", m_io->error, error);
    if (!m_file.Commit()) {
        const int fileError = LastStagedOutputError();
        Close();
        *error = "the movie could not be moved into place" +
                 (fileError != 0 ? ": " + StagedOutputErrorText(fileError) : std::string());
        return false;
    }
    Close();
    return true;
}

} // namespace movie
