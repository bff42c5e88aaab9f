// Replays files (or every file of the given folders) through a fuzz entry point, so that
// past crashers stay fixed. A missing folder counts as an empty corpus.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void RunOne(const std::filesystem::path& p, int& count)
{
    std::ifstream in(p, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++count;
}

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        fs::path p(argv[i]);
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            for (const auto& e : fs::recursive_directory_iterator(p, ec))
                if (e.is_regular_file())
                    RunOne(e.path(), count);
        } else if (fs::is_regular_file(p, ec)) {
            RunOne(p, count);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
