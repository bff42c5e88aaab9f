// The Options dialog's window.
#include "shell/options_dlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace platform::qt;

namespace {
// Radios in the order of their index: the projection family 0 to 3 and the area mode 0 to 2.
constexpr int kProjectionIds[] = {COptionsDlg::IDC_LINEAR, COptionsDlg::IDC_ULTRA_WIDE, COptionsDlg::IDC_PANORAMA,
                                  COptionsDlg::IDC_FISHEYE};
constexpr const char* kProjectionCaptions[] = {"Linear (Flat)", "Ultra Wide Linear", "Panorama", "Fisheye"};
constexpr int kShapeIds[] = {COptionsDlg::IDC_RECTANGLE, COptionsDlg::IDC_CIRCLE, COptionsDlg::IDC_ELLIPSE};
constexpr const char* kShapeCaptions[] = {"Rectangle", "Circle", "Ellipse"};
} // namespace

COptionsDlg::COptionsDlg(QWidget* parent) : CDialogBase(parent)
{
    setObjectName(QStringLiteral("COptionsDlg"));
    setWindowTitle(QStringLiteral("Options"));
    auto* top = new QVBoxLayout(this);

    auto* projectionBox = new QGroupBox(QStringLiteral("Projection Type"), this);
    auto* projectionRows = new QVBoxLayout(projectionBox);
    // The four projection radios are one exclusive group, so exactly one family is chosen.
    m_projection = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* r = new QRadioButton(QString::fromLatin1(kProjectionCaptions[i]), projectionBox);
        m_projection->addButton(r, i);
        projectionRows->addWidget(r);
        AddControl(kProjectionIds[i], r);
    }
    AddControl(IDC_PROJECTION_GROUP, projectionBox);

    auto* shapeBox = new QGroupBox(QStringLiteral("Output Shape"), this);
    auto* shapeRows = new QVBoxLayout(shapeBox);
    m_shape = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(QString::fromLatin1(kShapeCaptions[i]), shapeBox);
        m_shape->addButton(r, i);
        shapeRows->addWidget(r);
        AddControl(kShapeIds[i], r);
    }
    auto* preview = new QPushButton(QStringLiteral("Show QuickTime VR"), shapeBox);
    shapeRows->addWidget(preview);
    AddControl(IDC_SHAPE_GROUP, shapeBox);
    AddControl(IDC_MOVIE_PREVIEW, preview);

    auto* upper = new QHBoxLayout;
    upper->addWidget(projectionBox);
    upper->addWidget(shapeBox);
    top->addLayout(upper);

    auto* sizeBox = new QGroupBox(QStringLiteral("Size of Output Image in pixels"), this);
    auto* grid = new QGridLayout(sizeBox);
    auto* widthLabel = new QLabel(QStringLiteral("Width"), sizeBox);
    auto* widthEdit = new QLineEdit(sizeBox);
    auto* heightLabel = new QLabel(QStringLiteral("Height"), sizeBox);
    auto* heightEdit = new QLineEdit(sizeBox);
    widthEdit->setMaxLength(9);
    heightEdit->setMaxLength(9);
    m_slider = new QSlider(Qt::Horizontal, sizeBox);
    m_slider->setRange(2, 100);
    m_slider->setPageStep(2);
    auto* pixels = new QLabel(QStringLiteral("100 * 100 = 10,000"), sizeBox);
    grid->addWidget(widthLabel, 0, 0);
    grid->addWidget(widthEdit, 0, 1);
    grid->addWidget(heightLabel, 0, 2);
    grid->addWidget(heightEdit, 0, 3);
    grid->addWidget(m_slider, 1, 0, 1, 4);
    grid->addWidget(pixels, 2, 0, 1, 4);
    top->addWidget(sizeBox);
    AddControl(IDC_SIZE_GROUP, sizeBox);
    AddControl(IDC_WIDTH_LABEL, widthLabel);
    AddControl(IDC_WIDTH, widthEdit);
    AddControl(IDC_HEIGHT_LABEL, heightLabel);
    AddControl(IDC_HEIGHT, heightEdit);
    AddControl(IDC_SLIDER, m_slider);
    AddControl(IDC_PIXELS, pixels);

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Save Image"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    AddControl(IDC_SAVE_IMAGE, save);
    AddControl(1, ok);
    AddControl(2, cancel);

    connect(m_slider, &QSlider::valueChanged, this, [this](int pos) {
        if (m_showing)
            return;
        m_model.MoveSlider(pos);
        ShowModel();
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_model.ReleaseSlider(); });
}

void COptionsDlg::SetOutputSize(CSize size)
{
    m_model.m_width = size.cx;
    m_model.m_height = size.cy;
}

bool COptionsDlg::OnInitDialog()
{
    m_saveImage = 0;
    // While the movie's area is previewed the dialog says so: its sizes are the movie's.
    setWindowTitle(m_shapeChoice == 3 ? QStringLiteral("Options - QuickTime VR preview") : QStringLiteral("Options"));
    CheckGroup(m_projection, m_projectionChoice);
    CheckGroup(m_shape, m_shapeChoice);
    m_model.Show();
    ShowModel();
    return true;
}

void COptionsDlg::CheckGroup(QButtonGroup* group, int index)
{
    // An index outside the group (the movie preview's area mode) leaves every radio unchecked.
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons())
        b->setChecked(group->id(b) == index);
    group->setExclusive(true);
}

int COptionsDlg::CheckedIndex(const QButtonGroup* group, int none)
{
    const int id = group->checkedId();
    return id < 0 ? none : id;
}

void COptionsDlg::ShowModel()
{
    m_showing = true;
    auto* width = qobject_cast<QLineEdit*>(GetDlgItem(IDC_WIDTH));
    auto* height = qobject_cast<QLineEdit*>(GetDlgItem(IDC_HEIGHT));
    // Only texts that changed are written, so the caret stays where the user types.
    if (width->text().toStdString() != m_model.m_widthText)
        width->setText(QString::fromStdString(m_model.m_widthText));
    if (height->text().toStdString() != m_model.m_heightText)
        height->setText(QString::fromStdString(m_model.m_heightText));
    if (m_slider->value() != m_model.m_slider)
        m_slider->setValue(m_model.m_slider);
    SetDlgItemText(IDC_PIXELS, m_model.m_label);
    m_showing = false;
}

void COptionsDlg::OnCommand(int id, int code)
{
    if (m_showing)
        return;
    if (code == EN_CHANGE && (id == IDC_WIDTH || id == IDC_HEIGHT)) {
        if (id == IDC_WIDTH)
            m_model.SetWidthText(GetDlgItemText(IDC_WIDTH));
        else
            m_model.SetHeightText(GetDlgItemText(IDC_HEIGHT));
        ShowModel();
        return;
    }
    if (code != BN_CLICKED) {
        CDialogBase::OnCommand(id, code);
        return;
    }
    switch (id) {
    case IDC_SAVE_IMAGE:
        m_saveImage = 1;
        done(1);
        break;
    case IDC_MOVIE_PREVIEW:
        // The movie shows a full turn: the panorama family, unless its preview already runs.
        if (m_shapeChoice != 3)
            CheckGroup(m_projection, 2);
        done(4);
        break;
    default: CDialogBase::OnCommand(id, code); break;
    }
}

void COptionsDlg::OnOK()
{
    m_saveImage = 0;
    done(1);
}

void COptionsDlg::done(int result)
{
    // The radios are read back whenever the dialog ends but Cancel.
    if (result != 2) {
        m_projectionChoice = CheckedIndex(m_projection, m_projectionChoice);
        m_shapeChoice = CheckedIndex(m_shape, m_shapeChoice);
    }
    CDialogBase::done(result);
}
