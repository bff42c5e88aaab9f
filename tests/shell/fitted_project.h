// A small project of two fitted pictures side by side, written as the program writes it; shared
// by the window tests that need something to render.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "document/sm_doc.h"
#include "engine/render_band.h"
#include "imagefile/image_file.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"

namespace shelltest {

// A picture file of w x h pixels in a pattern around a base colour; false when it could not be written.
inline bool WritePicture(const std::string& path, int w, int h, COLORREF base)
{
    if (SaveImageBegin(path, w, h, 72, "", 10) != 1)
        return false;
    CPixelArray strip;
    strip.SetSize(static_cast<std::ptrdiff_t>(kRenderBandRows) * w);
    int status = 0;
    for (int band : GetSaveStripOrder(path, h)) {
        for (int row = 0; row < kRenderBandRows; ++row)
            for (int x = 0; x < w; ++x)
                strip[row * w + x] = base + static_cast<COLORREF>((x * 3 + row) & 0x3F);
        if (SaveImagePut(path, strip, band) < 0) {
            status = -1;
            break;
        }
    }
    return SaveImageEnd(path, status) == 1 && status == 0;
}

// Made by the picture set ("photo0.png", "photo1.png" in dir), then opened and saved once by a
// document (which adds the pieces' places) as "two.fit"; answers that project's path.
inline std::string MakeFittedProject(const std::filesystem::path& dir)
{
    CMcHost host;
    CMcCore core;
    core.m_Host = &host;
    core.m_Projection = 21;
    core.m_CommonFocal = 150.0;
    const double yaws[] = {-0.2, 0.2};
    for (int i = 0; i < 2; ++i) {
        const std::string path = (dir / ("photo" + std::to_string(i) + ".png")).string();
        EXPECT_TRUE(WritePicture(path, 64, 48, RGB(40 + 100 * i, 90, 160)));
        CKpic* picture = core.OpenPicture(path);
        EXPECT_TRUE(picture);
        if (!picture)
            continue;
        picture->m_Status = 3;
        picture->m_Focal = 150.0;
        picture->m_DefaultFocal = 150.0;
        picture->m_Direction = CDPoint(yaws[i], 0.0);
    }
    core.SortPlacedFirst();
    const std::string made = (dir / "made.fit").string();
    EXPECT_EQ(SaveProjectFile(core, made).code, 1);
    const std::string project = (dir / "two.fit").string();
    CSmDoc doc;
    EXPECT_TRUE(doc.OpenDocumentFile(made));
    EXPECT_TRUE(doc.DoSave(project));
    return project;
}

} // namespace shelltest
