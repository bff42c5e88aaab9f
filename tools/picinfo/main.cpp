// picinfo: opens the photos of each folder named on the command line into a picture set and
// prints, per picture, its path, size and initial lens figures (tab-separated).
#include <cstdio>
#include <string>

#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/mcomp.h"
#include "picset/picture_set_folder.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: picinfo FOLDER...\n"
                             "Opens the BMP, JPEG, TIFF and PNG files of each folder into a picture set and\n"
                             "prints path, size, lens focal, its source, minimum and default focal (pixels),\n"
                             "camera model and EXIF focal length (mm) per picture.\n");
        return 2;
    }
    SetEngineModeFlags();
    CMcHost host;
    std::puts(PictureLineHeader().c_str());
    int status = 0;
    for (int a = 1; a < argc; ++a) {
        CMcomp set;
        set.SetHost(&host);
        if (ListPictureFiles(argv[a]).empty()) {
            std::fprintf(stderr, "picinfo: no pictures in %s\n", argv[a]);
            status = 1;
            continue;
        }
        OpenPictureFolder(set, argv[a]);
        for (int i = 0; i < set.GetPictureCount(); ++i)
            std::puts(FormatPictureLine(*set.GetPictureAt(i)).c_str());
    }
    return status;
}
