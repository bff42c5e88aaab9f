// The program Vellumark: makes the panorama movie that Render and Save starts it for.
#include <string>
#include <vector>

#include "imagefile/staged_output_file.h"
#include "movie/movie_job.h"
#include "movie/movie_writer.h"

int main(int argc, char** argv)
{
    // An interrupted run leaves no half-written movie behind.
    InstallStagedOutputSignalCleanup();
    movie::QuietLibraryLogs();
    return movie::RunMovieProgram(std::vector<std::string>(argv + 1, argv + argc));
}
