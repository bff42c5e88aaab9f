// JPEG encode speed, in the same run with runs interleaved:
//  1. a 24-megapixel BMP to JPEG as whole processes: `imgtool convert` against libjpeg-turbo's
//     `cjpeg` given our quality-10 quantisation tables (the same quality by construction), and
//     against `cjpeg` with its own defaults;
//  2. the encoder alone on the same pixels in memory: ours (helper threads as chosen by the
//     encoder, and on the calling thread only) against libjpeg-turbo's library with our tables.
// Prints min and median times and the ratios ours / libjpeg-turbo (median of the pairwise
// ratios), and checks that the threaded and single-thread outputs are the same bytes.
//   bench_jpeg_encode [picture.bmp] [runs]   (default: the benchmarks' 24-megapixel photo as a BMP)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench_photo.h"
#include "imagefile/image_file.h"
#include "imagefile/jpeg_encoder.h"
#include "imagefile/pixel_array.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQuality = 10;  // what imgtool writes

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double Min(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a program (found on PATH) with its output thrown away; wall seconds, or -1 when it
// could not be started or did not exit with 0.
double TimeProcess(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return Seconds(t0, Clock::now());
}

bool WriteBmp(const std::string& path, const CPixelArray& px, int w, int h)
{
    if (SaveImageBegin(path, w, h, 72, std::string(), kQuality) != 1)
        return false;
    CPixelArray strip;
    strip.SetSize(static_cast<int64_t>(kStripRows) * w);
    for (const int n : GetSaveStripOrder(path, h)) {
        const int rows = std::min(kStripRows, h - n * kStripRows);
        std::copy_n(px.GetData() + static_cast<size_t>(n) * kStripRows * w, static_cast<size_t>(rows) * w,
                    strip.GetData());
        if (SaveImagePut(path, strip, n) != 1) {
            SaveImageEnd(path, -1);
            return false;
        }
    }
    return SaveImageEnd(path, 1) == 1;
}

// Our encoder over the pixels in strips of 16 rows; seconds, or -1 on failure.
double EncodeOurs(const std::string& path, const CPixelArray& px, int w, int h, int workers)
{
    CJpegEncoder enc;
    enc.SetWorkers(workers);
    std::vector<uint32_t> strip(static_cast<size_t>(w) * kStripRows);
    const auto t0 = Clock::now();
    if (enc.BeginWrite(path, w, h, 72, kQuality) != 1)
        return -1;
    for (int n = 0; kStripRows * n < h; ++n) {
        const int rows = std::min(kStripRows, h - kStripRows * n);
        std::copy_n(px.GetData() + static_cast<size_t>(n) * kStripRows * w, static_cast<size_t>(rows) * w,
                    strip.begin());
        if (enc.WriteStrip(strip.data(), strip.size(), n) != 1) {
            enc.EndWrite(-1);
            return -1;
        }
    }
    if (enc.EndWrite(1) != 1)
        return -1;
    return Seconds(t0, Clock::now());
}

// Our quality-10 tables in natural order: luminance, then chrominance.
void OurTables(const std::string& dir, unsigned lum[64], unsigned chrom[64])
{
    static const int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                     12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                     35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                     58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    CJpegEncoder enc;
    enc.BeginWrite(dir + "/bench_tables.jpg", 16, 16, 72, kQuality);
    for (int k = 0; k < 64; ++k) {
        lum[kNatural[k]] = enc.LuminanceTable()[k];
        chrom[kNatural[k]] = enc.ChrominanceTable()[k];
    }
    enc.EndWrite(-1);
}

// libjpeg-turbo's library: 4:2:0, accurate integer transform, our tables; the pixels are
// handed over 16 rows at a time as ours are.
double EncodeLibjpeg(const std::string& path, const CPixelArray& px, int w, int h, const unsigned lum[64],
                     const unsigned chrom[64])
{
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3 * kStripRows);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return -1;
    const auto t0 = Clock::now();
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_add_quant_table(&cinfo, 0, lum, 100, TRUE);
    jpeg_add_quant_table(&cinfo, 1, chrom, 100, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    for (int y0 = 0; y0 < h; y0 += kStripRows) {
        const int rows = std::min(kStripRows, h - y0);
        JSAMPROW rowp[kStripRows];
        for (int r = 0; r < rows; ++r) {
            const COLORREF* src = px.GetData() + static_cast<size_t>(y0 + r) * w;
            uint8_t* d = rgb.data() + static_cast<size_t>(r) * w * 3;
            for (int x = 0; x < w; ++x) {
                d[3 * x] = static_cast<uint8_t>(src[x]);
                d[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
                d[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
            }
            rowp[r] = d;
        }
        jpeg_write_scanlines(&cinfo, rowp, static_cast<JDIMENSION>(rows));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    return Seconds(t0, Clock::now());
}

struct CSeries {
    const char* name;
    std::vector<double> times;
};

void PrintSeries(const CSeries& s)
{
    std::printf("  %-34s min %7.3f s   median %7.3f s\n", s.name, Min(s.times), Median(s.times));
}

// Pairwise ratios a[i] / b[i]: min and median.
void PrintRatio(const char* name, const CSeries& a, const CSeries& b)
{
    std::vector<double> r;
    for (size_t i = 0; i < a.times.size() && i < b.times.size(); ++i)
        if (a.times[i] > 0 && b.times[i] > 0)
            r.push_back(a.times[i] / b.times[i]);
    std::printf("  %-34s min %7.2f     median %7.2f\n", name, Min(r), Median(r));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = std::filesystem::temp_directory_path().string();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const bool madeHere = argc <= 1 || argv[1][0] == '\0';
    const std::string source = madeHere ? bench::MakePhoto() : std::string(argv[1]);
    const CRect own = GetImageFileRect(source);
    CSize size = own.Size();
    const int w = own.Width();
    const int h = own.Height();
    CPixelArray px;
    if (own.IsRectEmpty() || LoadImageFile(source, px, size, CRect()) <= 0) {
        std::fprintf(stderr, "cannot read %s\n", source.c_str());
        return 1;
    }
    const std::string bmp = madeHere ? dir + "/bench_jpeg_encode_24mp.bmp" : source;
    if (madeHere && !WriteBmp(bmp, px, w, h)) {
        std::fprintf(stderr, "cannot write %s\n", bmp.c_str());
        return 1;
    }
    std::printf("JPEG encode, %d x %d (%.1f MP), 4:2:0, %u processors, %d runs each, interleaved\n", w, h,
                w * h / 1e6, std::thread::hardware_concurrency(), runs);

    unsigned lum[64], chrom[64];
    OurTables(dir, lum, chrom);
    const std::string tables = dir + "/bench_jpeg_encode_tables.txt";
    {
        std::ofstream t(tables);
        for (const unsigned* q : {lum, chrom})
            for (int i = 0; i < 64; ++i)
                t << q[i] << (i % 8 == 7 ? "\n" : " ");
    }

    // Whole processes: BMP in, JPEG out.
    const std::string oursOut = dir + "/bench_jpeg_encode_ours.jpg";
    const std::string cjpegOut = dir + "/bench_jpeg_encode_cjpeg.jpg";
    const std::string cjpegDefaultOut = dir + "/bench_jpeg_encode_cjpeg_default.jpg";
    const std::vector<std::string> ours = {SMRA_IMGTOOL_PATH, "convert", bmp, oursOut};
    // Quality 50 leaves the given tables unscaled.
    const std::vector<std::string> sameTables = {"cjpeg", "-quality", "50", "-qtables", tables, "-baseline",
                                                 "-sample", "2x2", "-outfile", cjpegOut, bmp};
    const std::vector<std::string> defaults = {"cjpeg", "-outfile", cjpegDefaultOut, bmp};
    CSeries procOurs{"imgtool convert", {}};
    CSeries procSame{"cjpeg, our tables", {}};
    CSeries procDefault{"cjpeg, its defaults (quality 75)", {}};
    if (TimeProcess(defaults) < 0) {
        std::printf("\ncjpeg is not on PATH (Debian: libjpeg-turbo-progs); whole-process timings skipped\n");
    } else {
        TimeProcess(ours);  // warm-up of both
        for (int i = 0; i < runs; ++i) {
            procOurs.times.push_back(TimeProcess(ours));
            procSame.times.push_back(TimeProcess(sameTables));
            procDefault.times.push_back(TimeProcess(defaults));
        }
        std::printf("\nBMP to JPEG, whole processes (bytes out: ours %zu, cjpeg %zu with our tables, %zu with "
                    "its defaults)\n",
                    ReadAll(oursOut).size(), ReadAll(cjpegOut).size(), ReadAll(cjpegDefaultOut).size());
        PrintSeries(procOurs);
        PrintSeries(procSame);
        PrintSeries(procDefault);
        PrintRatio("ratio ours / cjpeg, our tables", procOurs, procSame);
        PrintRatio("ratio ours / cjpeg, its defaults", procOurs, procDefault);
    }

    // The encoders alone, pixels in memory.
    const std::string threadedOut = dir + "/bench_jpeg_encode_threaded.jpg";
    const std::string serialOut = dir + "/bench_jpeg_encode_serial.jpg";
    const std::string libOut = dir + "/bench_jpeg_encode_lib.jpg";
    CSeries threaded{"ours, helper threads", {}};
    CSeries serial{"ours, calling thread only", {}};
    CSeries lib{"libjpeg-turbo library", {}};
    EncodeOurs(threadedOut, px, w, h, -1);
    for (int i = 0; i < runs; ++i) {
        threaded.times.push_back(EncodeOurs(threadedOut, px, w, h, -1));
        serial.times.push_back(EncodeOurs(serialOut, px, w, h, 0));
        lib.times.push_back(EncodeLibjpeg(libOut, px, w, h, lum, chrom));
    }
    const bool same = ReadAll(threadedOut) == ReadAll(serialOut);
    std::printf("\nEncoder alone, same tables (threaded and single-thread output %s)\n",
                same ? "byte-identical" : "DIFFER");
    PrintSeries(threaded);
    PrintSeries(serial);
    PrintSeries(lib);
    PrintRatio("ratio ours (threads) / library", threaded, lib);
    PrintRatio("ratio ours (one thread) / library", serial, lib);

    for (const std::string& p : {oursOut, cjpegOut, cjpegDefaultOut, threadedOut, serialOut, libOut, tables})
        std::remove(p.c_str());
    if (madeHere)
        std::remove(bmp.c_str());
    return same ? 0 : 1;
}
