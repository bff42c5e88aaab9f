// The engine's record of one source picture: its file, size, orientation on the viewing
// sphere, lens data, fit status, fifty control-point slots, working images and the scratch
// data of the fitting search. The picture set owns one record per picture.
//
// Angles are radians; positions are pixels of the picture unless said otherwise; "focal" is
// the focal length in pixels of the picture. Directions on the sphere are CDPoint
// (x = longitude, y = latitude).
//
// The members' code is spread over the picture set's two folders; each group below names the
// file that holds it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/basic_types.h"
#include "common/value_types.h"
#include "imagefile/bitmap.h"
#include "imagefile/pixel_array.h"
#include "picset/control_point.h"
#include "picset/sample_point.h"

class CArchive;
class CKpic;

// The state a candidate search keeps of a picture so that it can put it back.
struct PictureSnapshot {
    double commonFocal = 0.0;
    double focal = 1000.0;
    CDPoint direction;  // x = yaw, y = pitch
    double roll = 0.0;
    std::array<ControlPoint, CONTROL_POINT_SLOTS> points{};
    double fitScore = 1000000.0;
    double error = 1000000.0;
};

// The image-related part of the record.
class CKpicBase {
public:
    CKpicBase();
    virtual ~CKpicBase();
    CKpicBase(const CKpicBase&) = delete;
    CKpicBase& operator=(const CKpicBase&) = delete;

    CKpic* m_Self = nullptr;        // the record itself, set by the CKpic constructors
    std::string m_Path;             // full path of the image file; the picture's identity
    CRect m_PictureRect;            // (0, 0, width, height)
    CPixelArray Pixels;             // full-size image (or a 1/8 reduced one), top row first
    CBitmapBuffer Thumbnail;        // 160 x 120 preview; null when none was made
    CPoint m_LayoutCell;            // (column, row) in the layout grid; rows count upwards
    int32_t QuarterTurns = 0;       // 0 none, 1 turned 90 degrees clockwise, 2 180, 3 90 counter-clockwise
    int32_t Brightness = 0;         // brightness step already applied to Pixels
    int32_t PendingBrightness = 0;  // step not yet applied; Brightness + pending stays in -10..10
    int32_t ColourTable[256];       // brightness lookup table, identity for step 0
    int32_t m_Status = 0;           // 0 not placed, 1 placed, 2 placed but not fitted, 3 fitted
    int32_t m_SearchMark = 0;       // 0 free; negative values keep the picture out of searches
    double m_FitScore = 0.0;        // score of the picture's last fit

    int Width() const { return m_PictureRect.Width(); }
    int Height() const { return m_PictureRect.Height(); }
    bool IsPlaced() const { return m_Status >= 1; }
    bool IsFitted() const { return m_Status >= 3; }
};

class CKpic : public CKpicBase {
public:
    // Record for a project being loaded: every field at its default.
    CKpic();
    // Record for an image file: path and picture rectangle given, then the initial lens
    // estimate runs and the working focal starts at its result.
    CKpic(const std::string& path, const CRect& pictureRect);
    ~CKpic() override;

    // Allocates a record with the default constructor (the project loader's factory).
    static CKpic* CreateObject();

    // ---- Control-point table (picset/kpic.cpp, with the constructors) ----------------------
    // Index of the first free slot; 49 when none is free (a new point then replaces slot 49).
    int FindFreePoint() const;
    // Slot just before the first free one; 0 when slot 0 is free; 49 when none is free.
    int LastUsedPoint() const;
    // Number of used slots; compacts the table first when the used slots are not all in front.
    int CountControlPoints();
    // Number of used slots whose state is above 2.
    int CountFittedPoints() const;
    // First used slot whose state is above 2; -1 when none.
    int FindFittedPoint() const;
    // Scanning from the front up to the first free slot: the anchor slot (state -4, id
    // PLACEMENT_ANCHOR_ID), or the first slot with state -5 / -6; -3 when there is none.
    int FindAnchorPoint() const;
    int FindPointStateM5() const;
    int FindPointStateM6() const;
    // 1 when one of the first CountControlPoints() slots carries the id, else 0.
    int HasPointId(int32_t id);
    // Number of slots whose kind is exactly 1 / of those whose state is above 1 too.
    int CountKind1Points() const;
    int CountLinkedUserPoints() const;
    // Adds a user point (kind 1, state 3) at a picture position; its slot index, or -2 when
    // the rounded position lies outside the picture.
    int AddPointAt(int32_t id, CDPoint position);
    // Moves the used slots to the front, keeping their order.
    void CompactControlPoints();

    // ---- Orientation keeping (picset/kpic.cpp) --------------------------------------------
    void SaveBestOrientation();
    void RestoreBestOrientation();
    // Saves focal, direction, roll, control points and fit score with the two values given;
    // RestoreSnapshot puts them back and returns the saved common focal.
    void SaveSnapshot(double commonFocal, double error);
    double RestoreSnapshot();

    // ---- Persistence (picset/project_file.cpp) --------------------------------------------
    // Stores or loads the picture body (current layout, or the older one for ".MCL" files).
    // 1 on success, -1 when the data is damaged.
    int Serialize(CArchive& ar);
    int StoreFields(CArchive& ar);
    int LoadFields(CArchive& ar);
    int LoadFieldsMcl(CArchive& ar);

    // ---- Initial lens estimate (picset/lens_estimate.cpp) ---------------------------------
    // -1 no estimate (empty picture), 1 from the sensor resolution or a stored value, 3 from
    // the camera value or the size rule.
    int InitLensFromExif();
    // 1 when a stored size value was found and applied, else -1.
    int LookupStoredLensData(int diagonal);
    // Adjusted value of the built-in camera row whose text equals key exactly; -1 when none.
    static int LookupCameraTable(const std::string& key);

    // ---- Geometry: pixel <-> camera plane <-> sphere (engine/picture_geometry.cpp) ---------
    CDPoint PixelToPlane(CDPoint p) const;
    CDPoint PlaneToPixel(CDPoint q) const;
    CPoint PlaneToPixelPoint(CDPoint q) const;
    // (0, 0) when the focal is not above 50.
    CDPoint PlaneToSphere(CDPoint q) const;
    // InvalidPlanePoint for a direction behind the camera.
    CDPoint SphereToPlane(CDPoint d) const;
    CDPoint PixelToSphere(CDPoint p) const;
    CDPoint PixelPointToSphere(int x, int y) const;
    CDPoint SphereToPixel(CDPoint d) const;
    CPoint SphereToPixelPoint(CDPoint d) const;
    double GetOffAxisAngle(CDPoint q) const;

    // ---- Derived values of the control points (engine/picture_geometry.cpp) ---------------
    void RefreshPlanePoint(int slot);
    void RefreshControlPoint(int slot);
    void UpdatePointSpherePositions();
    void UpdatePointAngles();
    void RefreshControlPoints();
    void ResetAutoPointStates();

    // ---- Estimates and measures, 1000000.0 the failure value (engine/picture_geometry.cpp)
    double EstimateFocal();
    double ClampFocal(double v) const;
    double ComputePointError();
    double EstimateFocalFromPointPair(int i, int j);
    int EstimateFromPointPair(int i, int j);
    void AimPointAt(CDPoint pixel, CDPoint direction);
    void UpdateOrientationFromAnchor();
    double OptimizeOrientation();
    double ComputeOrientationError();
    double StepOrientation();
    void RefinePlacement();
    int RefineAndCheck();
    double ComputeFitMeasure(double referenceFocal);
    // Among used slots with state -1 or above 1: their count, the slot with the largest
    // residual (the result; -1 when none, so that slots 48 and 49 are real answers) and that
    // slot's great-circle residual.
    int FindWorstPoint(int& count, double& residual);

    // ---- Hit tests (engine/picture_geometry.cpp) ------------------------------------------
    bool ContainsPoint(int x, int y, int margin) const;
    int HitTestPointArea(CDPoint direction) const;
    bool CoversSpherePoint(CDPoint direction) const;

    // ---- Image levels and brightness (engine/fit/image_levels.cpp), thumbnail
    //      (engine/fit/picture_thumbnail.cpp), feature grid and preparation
    //      (engine/fit/feature_grid.cpp) ------------------------------------------------------
    // 1 with the levels built, 0 without full-size pixels, -5 out of memory (no levels).
    int BuildColourLevels();
    void BuildThumbnail(int bitsPerPixel, CDrawContext& dc);
    void RefreshThumbnailBits();
    int CommitBrightness();
    void ApplyBrightnessToPixels();
    void BuildColourTable(int step);
    void EnsureReady();
    void PrepareStep();
    int MeasureFeatureStrength(int x, int y, COLORREF& centreColour, COLORREF& patchColour);
    void BuildFeatureGrid();
    void DampFeaturesNear(int x, int y);
    CPoint FindBestFeatureCell();
    CPoint FindNearestFeature(int x, int y, int minStrength);
    CPoint FindStrongestFeature(const CRect& rect);
    int MeanFeatureStrength();

    // ---- Fields --------------------------------------------------------------------------
    int32_t m_ColourWord = 0;           // packed colour-correction model
    COLORREF m_ReferenceColour = 0;     // reference colour of that model
    CPixelArray QuarterContrast;        // contrast level at 1/4 size
    CPixelArray SixteenthContrast;      // contrast level at 1/16 size
    double m_Focal = 1000.0;            // current focal
    double m_LensFocal = 1000.0;        // focal from the lens data, used when m_LensSource > 0
    int32_t m_LensSource = -1;          // -1 none, 0 size alone, 1 camera value, 2 EXIF 35 mm
                                        // equivalent, 3 EXIF resolution
    double m_DefaultFocal = 1000.0;     // focal that resets give the picture
    double m_MinFocal = 100.0;          // smallest focal accepted for the picture
    CDPoint m_Direction;                // orientation of the optical axis: x = yaw, y = pitch
    double m_Roll = 0.0;                // rotation about the optical axis
    CDPoint m_OpticalCentre;            // centre of the optical axis in picture pixels
    std::array<ControlPoint, CONTROL_POINT_SLOTS> m_Points{};
    SamplePoint FeatureCells[32][32];   // feature grid, [column][row]
    int32_t FeatureCellSize = 0;        // side of one feature cell in pixels
    int32_t m_PrepStep = 0;             // progress of the step-wise preparation; 0 after a load
    int32_t FeaturesReady = 0;          // 1 when the preparation is complete; 0 after a load
    double m_BestFocal = 1000.0;        // best orientation kept during an optimisation
    CDPoint m_BestDirection;
    double m_BestRoll = 0.0;
    double m_LensScale = 1.0;           // parameter of the lens-distortion table
    PictureSnapshot m_Snapshot;
    int32_t m_TryCounters[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0}; // per neighbour code c at index 9 - c
    double m_ExifFocalLength = 0.0;     // millimetres
    std::string m_CameraModel;          // EXIF camera model
    double m_ExposureFigure = 0.0;      // exposure time * 1000000 / f-number squared

    // Yaw and pitch by name.
    double Yaw() const { return m_Direction.x; }
    double Pitch() const { return m_Direction.y; }
};
