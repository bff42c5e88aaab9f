// The "Options" dialog: projection type, output shape and the pixel size of the output image.
// Width and height keep their aspect, a slider scales the size between 2 % and 100 % of a full
// width, and a label shows the pixel count. The size rules live in COptionsModel; this window
// shows the model and passes the user's input to it. The Option box command drives it.
#pragma once

#include "document/commands_table.h"
#include "platform/qt/dialog_base.h"
#include "shell/options_model.h"

class QButtonGroup;
class QSlider;

class COptionsDlg : public platform::qt::CDialogBase, public IOptionBox {
    Q_OBJECT
public:
    explicit COptionsDlg(QWidget* parent = nullptr);

    // Control ids.
    enum : int {
        IDC_PROJECTION_GROUP = 1054,
        IDC_LINEAR = 1057,
        IDC_ULTRA_WIDE = 1071,
        IDC_PANORAMA = 1058,
        IDC_FISHEYE = 1059,
        IDC_SHAPE_GROUP = 1065,
        IDC_RECTANGLE = 1066,
        IDC_CIRCLE = 1067,
        IDC_ELLIPSE = 1068,
        IDC_MOVIE_PREVIEW = 1161,
        IDC_SIZE_GROUP = 1060,
        IDC_WIDTH_LABEL = 1061,
        IDC_WIDTH = 1062,
        IDC_HEIGHT_LABEL = 1063,
        IDC_HEIGHT = 1064,
        IDC_SLIDER = 1298,
        IDC_PIXELS = 1299,
        IDC_SAVE_IMAGE = 1300,
    };

    // ---- IOptionBox ------------------------------------------------------------------------
    void SetOutputSize(CSize size) override;
    void SetAspect(double aspect) override { m_model.m_aspect = aspect; }
    void SetReferenceWidth(int width) override { m_model.m_fullWidth = width; }
    void SetFamily(int family) override { m_projectionChoice = family; }
    void SetAreaMode(int mode) override { m_shapeChoice = mode; }
    // Shows the dialog modally: 1 OK or Save Image, 2 Cancel, 4 preview of the movie area.
    int Run() override { return DoModal(); }
    int GetFamily() const override { return m_projectionChoice; }
    int GetWidth() const override { return m_model.m_width; }
    int GetAreaMode() const override { return m_shapeChoice; }
    bool RenderNow() const override { return m_saveImage == 1; }

    // The work done when the dialog is shown (public for the tests, which do not run it modally).
    bool OnInitDialog() override;

    const COptionsModel& Model() const { return m_model; }
    QSlider* Slider() const { return m_slider; }

    int m_projectionChoice = -1;
    int m_shapeChoice = -1;
    int m_saveImage = 0;

protected:
    void OnCommand(int id, int code) override;
    void OnOK() override;
    void done(int result) override;

private:
    // Shows the model in the controls (without running their notices again).
    void ShowModel();
    void CheckGroup(QButtonGroup* group, int index);
    // Index of the checked radio of a group; `none` when no radio is checked.
    static int CheckedIndex(const QButtonGroup* group, int none);

    COptionsModel m_model;
    QButtonGroup* m_projection = nullptr;
    QButtonGroup* m_shape = nullptr;
    QSlider* m_slider = nullptr;
    bool m_showing = false;
};
