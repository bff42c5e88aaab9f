// Opening a folder of photos into a picture set and describing the pictures' lens figures.
#include "picset/picture_set_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/helpers.h"
#include "picset/kpic.h"
#include "picset/lens_estimate.h"
#include "picset/mcomp.h"

std::vector<std::string> ListPictureFiles(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string path = it->path().string();
        switch (GetFileKind(path)) {
        case FILE_KIND_BMP:
        case FILE_KIND_JPEG:
        case FILE_KIND_TIFF:
        case FILE_KIND_PNG:
            files.push_back(path);
            break;
        default:
            break;
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

int OpenPictureFolder(CMcomp& set, const std::string& folder)
{
    for (const std::string& path : ListPictureFiles(folder))
        set.OpenPicture(path);
    return set.GetPictureCount();
}

std::string LensSourceName(int source)
{
    switch (source) {
    case LENS_SOURCE_SIZE: return "size";
    case LENS_SOURCE_CAMERA: return "camera";
    case LENS_SOURCE_EXIF_35MM: return "exif35mm";
    case LENS_SOURCE_EXIF_PLANE: return "exif";
    default: return "none";
    }
}

std::string PictureLineHeader()
{
    return "path\tsize\tlens_focal\tsource\tmin_focal\tdefault_focal\tmodel\texif_mm";
}

std::string FormatPictureLine(const CKpic& k)
{
    char numbers[200];
    std::snprintf(numbers, sizeof numbers, "\t%dx%d\t%.1f\t%s\t%.1f\t%.1f\t", k.Width(), k.Height(), k.m_LensFocal,
                  LensSourceName(k.m_LensSource).c_str(), k.m_MinFocal, k.m_DefaultFocal);
    char mm[40];
    std::snprintf(mm, sizeof mm, "\t%.2f", k.m_ExifFocalLength > 0.0 ? k.m_ExifFocalLength : 0.0);
    return k.m_Path + numbers + (k.m_CameraModel.empty() ? std::string("-") : k.m_CameraModel) + mm;
}
