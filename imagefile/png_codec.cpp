// PNG reading and writing through libpng. libpng reports errors by longjmp; every function
// that sets the jump point holds only plain C data, so no C++ object is ever skipped over.
#include "imagefile/png_codec.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/message_catalogue.h"
#include "imagefile/image_file.h"
#include "imagefile/image_codecs.h"
#include "platform/message_box.h"

namespace {


void PngErrorHandler(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void PngWarningHandler(png_structp /*png*/, png_const_charp /*message*/)
{
}

// Everything one read needs, plain data only; ReleaseRead frees what is set.
struct PngReadState {
    FILE* file;
    png_structp png;
    png_infop info;
    png_bytep image;
    png_bytepp rows;
    png_uint_32 width;
    png_uint_32 height;
    size_t rowBytes;
    int interlaced;
    int headerOnly;
};

void ReleaseRead(PngReadState* st)
{
    if (st->png != nullptr)
        png_destroy_read_struct(&st->png, st->info != nullptr ? &st->info : nullptr, nullptr);
    st->png = nullptr;
    st->info = nullptr;
    std::free(st->image);
    std::free(st->rows);
    st->image = nullptr;
    st->rows = nullptr;
    if (st->file != nullptr)
        std::fclose(st->file);
    st->file = nullptr;
}

// Largest ancillary chunk read into memory, and most ancillary chunks kept.
constexpr png_alloc_size_t kMaxPngChunkBytes = 8u << 20;
constexpr png_uint_32 kMaxPngAncillaryChunks = 1000;

// Opens the file, reads the header and sets the transforms that deliver 8-bit RGB rows.
// 1 on success, -1 on failure (the caller releases the state in both cases).
int StartPngRead(PngReadState* st, const char* path)
{
    st->file = std::fopen(path, "rb");
    if (st->file == nullptr)
        return -1;
    st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorHandler,
                                     PngWarningHandler);
    if (st->png == nullptr)
        return -1;
    st->info = png_create_info_struct(st->png);
    if (st->info == nullptr)
        return -1;
    if (setjmp(png_jmpbuf(st->png)))
        return -1;

    png_set_user_limits(st->png, 1000000, 1000000);
    // Ancillary chunks (text, palettes of suggestions, ...) are allocated at the length the
    // file claims: bound them, and their number, so that a few bytes cannot ask for gigabytes.
    png_set_chunk_malloc_max(st->png, kMaxPngChunkBytes);
    png_set_chunk_cache_max(st->png, kMaxPngAncillaryChunks);
    // libpng only warns about a chunk above that bound and then reads it all the same: the
    // chunks that are read whole into memory and that the picture does not need are skipped
    // instead (read past in small pieces, whatever length they claim).
    static const png_byte kSkippedChunks[] = {'t', 'E', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0',
                                              'i', 'T', 'X', 't', '\0', 's', 'P', 'L', 'T', '\0',
                                              'p', 'C', 'A', 'L', '\0', 's', 'C', 'A', 'L', '\0',
                                              'e', 'X', 'I', 'f', '\0'};
    png_set_keep_unknown_chunks(st->png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                static_cast<int>(sizeof kSkippedChunks / 5));
    png_init_io(st->png, st->file);
    png_read_info(st->png, st->info);
    int bitDepth = 0;
    int colourType = 0;
    png_get_IHDR(st->png, st->info, &st->width, &st->height, &bitDepth, &colourType, nullptr,
                 nullptr, nullptr);
    // A picture too large to be read is refused by the size query too, as the other kinds do.
    if (st->width != 0 && st->height != 0 && uint64_t{st->width} * st->height > CPngCodec::MaxReadPixels) {
        NoteImageTooLarge(st->width, st->height);
        return -1;
    }
    if (st->headerOnly)
        return 1;
    if (st->width == 0 || st->height == 0)
        return -1;

    if (bitDepth == 16)
        png_set_strip_16(st->png);
    png_set_packing(st->png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(st->png);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(st->png);
    png_set_expand(st->png);
    // Grey becomes RGB and alpha is dropped, so every pixel arrives as three bytes.
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb(st->png);
    png_set_strip_alpha(st->png);
    double fileGamma = 0.0;
    if (png_get_gAMA(st->png, st->info, &fileGamma) == 0 || !(fileGamma > 0.0))
        fileGamma = 0.455;
    png_set_gamma(st->png, 2.2, fileGamma);
    st->interlaced = png_get_interlace_type(st->png, st->info) != PNG_INTERLACE_NONE;
    png_set_interlace_handling(st->png);
    png_read_update_info(st->png, st->info);

    png_get_IHDR(st->png, st->info, &st->width, &st->height, &bitDepth, &colourType, nullptr,
                 nullptr, nullptr);
    st->rowBytes = png_get_rowbytes(st->png, st->info);
    if (st->width == 0 || st->rowBytes != size_t{st->width} * 3)
        return -1;
    return 1;
}

void RgbRowToPixels(const png_byte* src, uint32_t* dst, png_uint_32 width)
{
    for (png_uint_32 x = 0; x < width; ++x, src += 3)
        dst[x] = src[0] | (uint32_t{src[1]} << 8) | (uint32_t{src[2]} << 16);
}

// Decodes the picture into `target` (width * height pixels). Interlaced pictures need the
// whole image buffer; the others are read row by row through one row buffer.
int FinishPngRead(PngReadState* st, uint32_t* target)
{
    if (setjmp(png_jmpbuf(st->png)))
        return -1;
    if (st->interlaced) {
        st->image = static_cast<png_bytep>(std::malloc(st->rowBytes * st->height));
        st->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * st->height));
        if (st->image == nullptr || st->rows == nullptr)
            return -1;
        for (png_uint_32 y = 0; y < st->height; ++y)
            st->rows[y] = st->image + st->rowBytes * y;
        png_read_image(st->png, st->rows);
        for (png_uint_32 y = 0; y < st->height; ++y)
            RgbRowToPixels(st->rows[y], target + size_t{y} * st->width, st->width);
    } else {
        st->image = static_cast<png_bytep>(std::malloc(st->rowBytes));
        if (st->image == nullptr)
            return -1;
        for (png_uint_32 y = 0; y < st->height; ++y) {
            png_read_row(st->png, st->image, nullptr);
            RgbRowToPixels(st->image, target + size_t{y} * st->width, st->width);
        }
    }
    png_read_end(st->png, nullptr);
    return 1;
}

}  // namespace

// The libpng write structures of the file being written.
struct PngWriteState {
    png_structp png;
    png_infop info;
};

namespace {

int StartPngWrite(PngWriteState* st, FILE* stream, png_uint_32 width, png_uint_32 height)
{
    st->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorHandler,
                                      PngWarningHandler);
    if (st->png == nullptr)
        return -1;
    st->info = png_create_info_struct(st->png);
    if (st->info == nullptr)
        return -1;
    if (setjmp(png_jmpbuf(st->png)))
        return -1;
    png_init_io(st->png, stream);
    png_set_IHDR(st->png, st->info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(st->png, st->info);
    return 1;
}

int WritePngRow(PngWriteState* st, png_bytep row)
{
    if (setjmp(png_jmpbuf(st->png)))
        return -1;
    png_write_row(st->png, row);
    return 1;
}

int FinishPngWrite(PngWriteState* st)
{
    if (setjmp(png_jmpbuf(st->png)))
        return -1;
    png_write_end(st->png, nullptr);
    return 1;
}

}  // namespace

CPngCodec::CPngCodec() = default;

CPngCodec::~CPngCodec()
{
    CloseWriter();
}

bool CPngCodec::GetImageSize(const std::string& path, int& width, int& height)
{
    if (path.empty())
        return false;
    PngReadState st{};
    st.headerOnly = 1;
    int result = StartPngRead(&st, path.c_str());
    png_uint_32 w = st.width;
    png_uint_32 h = st.height;
    ReleaseRead(&st);
    if (result < 1 || w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

int CPngCodec::ReadImage(const std::string& path, CPixelArray& pixels, int& cx, int& cy)
{
    if (path.empty())
        return -1;
    int rx = cx;
    int ry = cy;
    if (rx < 1 || ry < 1 || uint64_t(rx) * uint64_t(ry) > MaxReadPixels)
        return -1;
    if (!pixels.TrySetSize(static_cast<std::ptrdiff_t>(rx) * ry))
        return -1;

    PngReadState st{};
    if (StartPngRead(&st, path.c_str()) < 1) {
        ReleaseRead(&st);
        return -1;
    }
    int w = static_cast<int>(st.width);
    int h = static_cast<int>(st.height);
    bool direct = (w == rx && h == ry);
    CPixelArray temp;
    if (!direct && !temp.TrySetSize(static_cast<std::ptrdiff_t>(w) * h)) {
        ReleaseRead(&st);
        ShowMessage(Catalogue().memoryTooShort);
        return -1;
    }
    int result = FinishPngRead(&st, direct ? pixels.GetData() : temp.GetData());
    ReleaseRead(&st);
    if (result < 1)
        return -1;
    cx = w;
    cy = h;
    if (!direct && ScalePixelsToFill(temp, w, h, pixels, rx, ry) < 1) {
        FillGrey(pixels);
        return -1;
    }
    return 1;
}

void CPngCodec::CloseWriter()
{
    if (m_write != nullptr) {
        png_destroy_write_struct(&m_write->png, m_write->info != nullptr ? &m_write->info : nullptr);
        delete m_write;
        m_write = nullptr;
    }
    m_file.Discard();
}

int CPngCodec::BeginWrite(const std::string& path, int width, int height)
{
    CloseWriter();
    if (path.empty() || width < 1 || height < 1)
        return -1;
    m_width = width;
    m_height = height;
    if (width > MaxWriteWidth) {
        ShowMessage(Catalogue().tooBigToCreate);
        return -1;
    }
    try {
        m_row.resize(static_cast<size_t>(width) * 3);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (!m_file.Open(path))
        return -1;
    m_write = new PngWriteState{};
    if (StartPngWrite(m_write, m_file.Stream(), static_cast<png_uint_32>(width),
                      static_cast<png_uint_32>(height)) < 1) {
        CloseWriter();
        return -1;
    }
    m_nextStrip = 0;
    return 1;
}

int CPngCodec::WriteStrip(const uint32_t* strip, size_t count, int n)
{
    if (m_write == nullptr || strip == nullptr || n != m_nextStrip || 16 * int64_t{n} >= m_height)
        return -1;
    int rows = std::min(16, m_height - 16 * n);
    if (count < static_cast<size_t>(rows) * m_width)
        return -1;
    for (int r = 0; r < rows; ++r) {
        const uint32_t* src = strip + static_cast<size_t>(r) * m_width;
        uint8_t* dst = m_row.data();
        for (int x = 0; x < m_width; ++x) {
            dst[3 * x] = static_cast<uint8_t>(src[x]);
            dst[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
            dst[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
        }
        if (WritePngRow(m_write, m_row.data()) < 1) {
            m_file.MarkFailed();
            return -1;
        }
    }
    ++m_nextStrip;
    return 1;
}

int CPngCodec::EndWrite(int status)
{
    if (m_write == nullptr)
        return -1;
    bool complete = status >= 0 && 16 * int64_t{m_nextStrip} >= m_height;
    int result = 1;
    if (complete) {
        result = FinishPngWrite(m_write);
        png_destroy_write_struct(&m_write->png, &m_write->info);
        delete m_write;
        m_write = nullptr;
        if (result < 1 || !m_file.Commit())
            result = -1;
    } else if (status >= 0) {
        result = -1;
    }
    CloseWriter();
    return result;
}

CPngCodec& PngCodec()
{
    static CPngCodec codec;
    return codec;
}

// Entry functions of the image-file dispatch. Every read uses a codec of its own, so a read
// during a save leaves the writer's state alone.
CRect PngGetImageRect(const std::string& path)
{
    int w = 0;
    int h = 0;
    if (!CPngCodec().GetImageSize(path, w, h))
        return CRect();
    return CRect(0, 0, w, h);
}

int PngReadImage(const std::string& path, CPixelArray& pixels, CSize& size)
{
    return CPngCodec().ReadImage(path, pixels, size.cx, size.cy);
}

int PngBeginWrite(const std::string& path, int width, int height)
{
    return PngCodec().BeginWrite(path, width, height);
}

int PngWriteStrip(const CPixelArray& strip, int n)
{
    return PngCodec().WriteStrip(strip.GetData(), static_cast<size_t>(strip.GetSize()), n);
}

int PngEndWrite(int status)
{
    return PngCodec().EndWrite(status);
}
