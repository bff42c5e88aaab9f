// The picture set: the engine's document object. It owns the ordered list of picture records
// (fitted pictures first), the project-wide lens and output settings, the undo and fit
// snapshots, the progress and break state of long jobs and the working areas of the fitting
// and rendering engine. The engine's operations are member functions of this class; it
// reports to the document only through its host.
//
// Directions on the sphere are CDPoint (x = longitude, y = latitude, radians); output points
// are int pairs in output pixels; points inside a picture are int pairs in its pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "common/value_types.h"
#include "picset/fit_candidate.h"
#include "picset/kpic.h"

class CArchive;
class CMcHost;

// Search flavour of the automatic fit: -2 plain fit (also the start value), 2 fit around
// 360 degrees, 3 row driver running. Readers test it by thresholds.
extern int FitMode;
// Set to 1 by SetEngineModeFlags (0 before): the engine mode flag selects thresholds of the
// fit measures; the numbered-message flag makes the engine send message numbers as text.
extern int EngineModeFlag;
extern int NumberedMessageFlag;
void SetEngineModeFlags();

// The background linking's memory of the picture and feature cell it tried last: none and
// (-1, -1) at start, again whenever a picture set is created, and the picture is forgotten
// when its record is deleted.
extern CKpic* LastFeaturePicture;
extern CPoint LastFeatureCell;
void ResetFeatureLinking();
// Empties the candidate list that a drag keeps between mouse moves.
void ResetDragCandidates();

class CMcCore {
public:
    CMcCore();
    virtual ~CMcCore();
    CMcCore(const CMcCore&) = delete;
    CMcCore& operator=(const CMcCore&) = delete;

    static CMcCore* CreateObject();

    // ---- Picture list ----------------------------------------------------------------------
    // Paths compare without regard to letter case.
    CKpic* GetPictureAt(int index) const;
    int GetPictureCount() const { return static_cast<int>(m_Pictures.size()); }
    CKpic* GetFirstPicture() const;
    CKpic* FindPictureByPath(const std::string& path) const;
    int FindPictureIndex(const std::string& path) const;
    int GetFittedCount() const { return m_FittedCount; }
    int CountReadyPictures() const;
    void DeleteAllPictures();
    void RemovePictureAt(int index);
    void MovePictureToEnd(const std::string& path);
    CKpic* OpenPicture(const std::string& path);
    // The same, with the outcome: 1 opened or found, -1 no such file, -2 not a supported
    // image, -5 out of memory (the list is left as it was).
    CKpic* OpenPicture(const std::string& path, int& result);
    int DeletePicture(int index);
    void SortPlacedFirst();
    int EnsurePictureImage(CKpic* picture);
    void EnsureAllPictureImages();
    void SetProjection(int code);
    int GetProjection() const { return m_Projection; }
    int InitPictureFocal(CKpic* picture);

    // Accessors of the facade. The focal mode setter writes the setting and the flag.
    void SetFocalMode(int mode)
    {
        m_FocalModeSetting = mode;
        m_IndividualFocal = mode;
    }
    int GetFocalMode() const { return m_FocalModeSetting; }
    int GetJobMode() const { return m_JobMode; }
    void SetJobMode(int mode) { m_JobMode = mode; }
    int GetBlendStrength() const { return m_BlendStrength; }
    void SetBlendStrength(int strength) { m_BlendStrength = strength; }
    int GetOverlapMode() const { return m_OverlapMode; }
    void SetOverlapMode(int mode) { m_OverlapMode = mode; }
    double GetCommonFocal() const { return m_CommonFocal; }

    // ---- Project file ----------------------------------------------------------------------
    int Serialize(CArchive& ar);
    int SerializeProject(CArchive& ar);
    int StoreProject(CArchive& ar);
    int LoadProject(CArchive& ar);
    int LoadProjectMcl(CArchive& ar);
    // -3 when the user cancelled the search for moved files (the list is then emptied).
    // Sets m_ChangedOnLoad when a photo was left out or found with another size.
    int RelocatePictureFiles(const std::string& projectPath);

    // ---- Placement anchor, outlines, bounding rectangle ------------------------------------
    int NotifyHost(int code, const std::string* object = nullptr);
    int SetPicturePlacement(const std::string& path, CPoint pixel);
    CRect GetPictureOutline(CKpic* picture);
    int UpdateBoundingRect();
    void ExtendBoundingRect(CKpic* picture);
    CRect MapPictureRect(CKpic* from, CKpic* into);
    int HitTestPicture(CKpic* picture, int x, int y, int size, int margin);
    int GetLensFigures(double& focal35, double& horizontalDegrees, double& verticalDegrees,
                       double& sensorWidth, double& sensorHeight);

    // ---- Control-point pairing and link upkeep -------------------------------------------
    CKpic* FindPartnerPoint(CKpic* picture, int32_t id, int& slot);
    CKpic* FindUniquePartner(CKpic* picture, int32_t id, int& slot);
    CKpic* FindPictureCovering(CKpic* picture, CDPoint direction);
    CKpic* FindNearestFittedPicture(CKpic* picture, CDPoint direction);
    void ResolvePointPartners(CKpic* picture);
    void RepairPointLinks(CKpic* picture);
    CKpic* AddPartnerPoint(CKpic* picture, int32_t id, CDPoint direction);
    CKpic* FindFeatureInCoveringPicture(CKpic* picture, CDPoint& direction);
    CKpic* CreatePointAtFeature(CKpic* picture, CDPoint& pixel);
    int CreatePointPair(CKpic* picture, CKpic* neighbour);
    void RemoveControlPoint(CKpic* picture, int slot);
    void RemoveAutoPoints(CKpic* picture);
    void ResetPicture(CKpic* picture);
    void PruneBrokenLinks();
    void GetPointMarks(CKpic* picture, std::vector<MarkPoint>& marks);
    void CollectOpenPoints();

    // ---- Focal refresh, reset, un-fit and undo snapshots -----------------------------------
    int SetCommonFocal(double focal);
    int ApplyDefaultFocal(const std::string& path);
    int RefreshAllPictures();
    int RefreshPictureGeometry();
    int ResetAllPictures();
    int UnfitAll();
    int UnfitFromPicture(CKpic* picture);
    int UnplaceUnfitted();
    int SaveFitSnapshot();
    int SaveUndoSnapshot();
    int RestoreUndoSnapshot();

    // ---- Control-point matching and the fit pass -----------------------------------------
    int MatchControlPoint(CKpic* picture, int slot, double step, int window);
    int SearchMatchWindow(CKpic* partner, CKpic* picture, CDPoint partnerPixel, CDPoint pixel,
                          double step);
    CPoint SearchMatchSpiral(int window);
    int RefinePointPosition(CKpic* picture, int slot);
    void MatchPicturePointsWith(CKpic* picture, double step, int window);
    void MatchFittedPictures(double step, int window);
    void MatchPicturePoints(CKpic* picture);
    void MatchAllPictures();
    int RematchPoint(CKpic* picture, int slot);
    int CountLinkedPoints();
    int OptimizeFit();

    // ---- Common focal, lens parameters, background step ----------------------------------
    double SearchCommonFocal();
    double EvaluateSharedFocal();
    double ScoreFocal(double focal);
    double ScoreSharedFocal(double focal);
    void SearchLensRadius();
    void OptimizeDistortion();
    void ResetPictureCentre(CKpic* picture);
    void UpdateLensScale(CKpic* picture);
    void UpdateLensModel(double radiusOverride);
    void ForgetLensModel();
    int IdleStep(int level);
    int AutoLinkStep();
    int TransferOpenPoint(CKpic* picture);
    int EvaluateFeatureWindows(CKpic* picture);

    // ---- Conversions between sphere, output plane, raster and pictures; break polling ----
    CDPoint SphereToPlane(CDPoint direction) const;
    CDPoint PlaneToSphere(CDPoint plane) const;
    CPoint SphereToPixel(CDPoint direction) const;
    CDPoint PixelToSphere(int x, int y) const;
    CDPoint OutputToPlane(int x, int y) const;
    CDPoint OutputToPlaneD(CDPoint p) const;
    CDPoint PlaneToOutput(CDPoint plane) const;
    CPoint PixelToPicture(CKpic* picture, int x, int y) const;
    CPoint PixelToPictureD(CKpic* picture, double x, double y) const;
    CPoint PictureToPixel(CKpic* picture, int x, int y) const;
    CRect GetOutputArea(int centre);
    int PollBreak();
    int GetProgressTick();
    void ResetProgress();

    // ---- Render set-up and renderer --------------------------------------------------------
    int SetupRender(int left, int top, int right, int bottom, int width, int height, int shape);
    int SetupRenderByWidth(int left, int top, int right, int bottom, int width, int shape);
    int SetRenderArea(int left, int top, int right, int bottom, int width, int height);
    int SetRenderAreaByWidth(const CRect& area, int width);
    int GetRenderSpanDegrees();
    int AllocateRenderBlocks();
    void OrderRenderPictures();
    void BuildFilterTables();
    int RenderPictures(int band, CPixelArray& pixels);
    int RenderOnePicture(int band, CKpic* picture, int radius);
    bool PictureCoversBlock(CKpic* picture, int x0, int y0);

    // ---- Automatic fit -------------------------------------------------------------------
    // -5 (kResultOutOfMemory) when memory ran short during the fit: the pictures it could not
    // finish are left unfitted and the user has been told (by the host's load or message 10).
    int RunAutoFit();
    // The fit itself, which RunAutoFit runs and guards against memory running out.
    int RunAutoFitSteps();
    // Records that a step ran short of memory: `told` when the host has already said so.
    void NoteMemoryShort(bool told);
    int FitAllPictures();
    int FitNextPicture(int reachable);
    int FitPictureFromCandidates(CKpic* partner, CKpic* picture, int code, int pass);
    int FindInitialPairs();
    int FindPairCandidates(CKpic* partner, CKpic* picture, int code, int pass);
    double MeasureRowEnds();
    int PlaceRemainingPictures();
    // reach 0: the row search's scan; 1: the pair match's reference and window with its milder
    // roll weight, the second try where the first gives no match that passes.
    int SearchPicturePosition(CKpic* partner, CKpic* picture, int code, int reach = 0);
    // Five fitted points or more within the tolerance: what keeps a picture of a row fitted.
    bool PassesRowAcceptance(const CKpic* picture) const;
    void LinkAtMidpoint(CKpic* partner, CKpic* picture);
    CKpic* AddAutoControlPoint(CKpic* picture, CDPoint direction);
    int Close360Loop();
    int DropStrayRowPoints();
    int TiltRow(double referenceYaw, double lowerStep, double upperStep);
    int ScanOffsets(CKpic* partner, const CRect& searchRect, CKpic* picture, CPoint referencePixel,
                    FitCandidateList& candidates);
    double ScorePairOverlap(CKpic* partner, CKpic* picture, int x, int y, int samples, double bound);
    double ScorePairOverlapFine(CKpic* partner, CKpic* picture, CPoint pixel);
    double ScorePairOverlapQuick(CKpic* partner, CKpic* picture, CPoint pixel);
    int MatchPicturePair(CKpic* partner, CKpic* picture, int code, int pass);
    int MatchPicturePairOnce(CKpic* partner, CKpic* picture, int code, int pass);
    bool OverlapAgreesAsAWhole(CKpic* partner, CKpic* picture);
    int RefineMatchedPicture(CKpic* picture);
    int FitMatchedPicture(CKpic* picture, CPoint pixel, CPoint outputPixel);

    // ---- Placement by drop and drag, finishing a move ------------------------------------
    int PlaceDroppedPicture(const std::string& path, CPoint picturePoint, CPoint outputPoint,
                            int refineMode, int searchMode, double rollChange);
    int PlacePictureAtPoint(const std::string& path, CPoint picturePoint, CPoint outputPoint);
    void SavePictureState(CKpic* picture);
    void RestorePictureState(CKpic* picture);
    int DragPicture(LabeledPoint& request, CPixelArray& preview, CPoint* dragPoint, int scale);
    int MovePictureToPoint(CKpic* picture, CPoint picturePoint, CPoint outputPoint, double roll);
    long double WindowColourScore(CKpic* partner, int x, int y, const CPixelArray& samples, int side,
                                  int scale, int reach);
    int FinishMove(int x, int y, double turn);
    int FindRegionAt(PointEntry& entry, int x, int y);

    // ---- Layout grid and base-picture corrections ------------------------------------------
    CKpic* FindPictureAtHomeCell();
    // The fit's layout grid takes in the pictures laid at cells with -reach <= column, row < reach.
    static constexpr int LayoutGridReach = 20;
    static bool IsLayoutGridCell(CPoint cell);
    CRect GetUsedCellsRect();
    void BuildLayoutGrid();
    int CountConnectedPictures(int statusLimit, int& count);
    int PrepareGridCandidates(int statusLimit, int& count);
    FitCandidate BestGridCandidate(int statusLimit);
    FitCandidate CellNeighbourCandidate(CKpic* picture, int statusMin);
    long double PlacementPenalty(CKpic* picture, CDPoint direction, double roll);
    int AdjustBaseAnchor();
    int LevelPanorama();

    // ---- Refining one picture ------------------------------------------------------------
    int RefinePicture(CKpic* picture, CPoint picturePoint, CPoint outputPoint, int refineMode);
    int ConsolidatePicture(CKpic* picture);
    int ImprovePointMatch(CKpic* picture, int slot);
    int SeedControlPoints(CKpic* picture, CPoint picturePoint, CPoint outputPoint);
    int SetPointAtPixel(CKpic* picture, CPoint picturePoint, CPoint outputPoint);
    int AimPictureAtSphere(CKpic* picture, CPoint picturePoint, CDPoint direction);

    // ---- Per-picture fitting steps and layout cells ----------------------------------------
    int RefitPicture(CKpic* picture, int slot, int notify);
    void SolveFromPointPairs(CKpic* picture);
    int SolveFocalFromPointPairs(CKpic* picture);
    void PreparePicture(CKpic* picture);
    void CentreFirstPicture(CKpic* picture);
    void AdoptMeanFocal(CKpic* picture, CKpic* reference);
    void CopyRollFromNeighbour(CKpic* picture, CKpic* reference);
    void AimFirstPointAtTarget(CKpic* picture);
    void UpdatePictureGeometry(CKpic* picture);
    void CommitPicture(CKpic* picture);
    void CommitPictureAndBounds(CKpic* picture);
    void MarkFitted(CKpic* picture);
    int RefreshCommonFocal();
    int UnfitPicture(const std::string& path);
    int AnchorPictureAt(const std::string& path, CPoint picturePoint, CPoint outputPoint);
    int AssignGridCells();
    CKpic* FindPictureAtCell(const std::vector<CKpic*>& list, CKpic* picture, CPoint cell);
    CKpic* FindNearestFittedNeighbour(const std::vector<CKpic*>& list, CKpic* picture);
    int ListByDistanceFromBase(std::vector<CKpic*>& list);

    // ---- Fields ----------------------------------------------------------------------------
    CMcHost* m_Host = nullptr;              // set once by the facade; not owned
    CRect m_BoundingRect;                   // union of the placed pictures' outlines
    std::vector<std::unique_ptr<CKpic>> m_Pictures; // working order, fitted pictures first
    int32_t m_FitPriority = 5;              // 1 speed, 2 quality
    int32_t m_FitState = 1;                 // fit level stored in the project
    int32_t m_RenderPriority = 5;           // 1 speed, 2 quality
    double m_CommonFocal = 1000.0;          // focal in pixels shared by the pictures
    int32_t m_Projection = 11;              // output projection code
    std::vector<CKpic*> m_RenderList;       // render order; refers to m_Pictures
    int32_t m_FittedCount = 0;              // pictures with status 3 or more at the last sort
    int32_t m_FocalModeSetting = 1;         // the user's choice for m_IndividualFocal
    int32_t m_IndividualFocal = 1;          // 1: each picture has its own focal; 0: shared
    // Fit snapshot and one-level undo: paths and values. The values are doubles so that counts
    // and ids are held exactly and angles, positions and the distortion keep sign and fraction.
    std::vector<std::string> m_FitSnapshotPaths;
    std::vector<double> m_FitSnapshotValues;
    std::vector<std::string> m_UndoSnapshotPaths;
    std::vector<double> m_UndoSnapshotValues;
    CDPoint m_CentreFractions{0.5, 0.5};    // optical centre as a fraction of (w - 1, h - 1)
    double m_Distortion = -0.02;            // lens-distortion coefficient
    double m_LensModelFactor = 0.95;        // radius parameter of the lens model
    // Results of the lens model: largest size-to-focal ratio, largest half diagonal, largest
    // field angle; the last is kept in the project.
    double m_LensModelValues[3] = {0.0, 0.0, 0.0};
    int32_t m_PendingFit = 0;               // a fit pass waits for the next idle step
    FitCandidateList m_Candidates{FitCandidate()}; // placement search list, one start entry
    double m_FitTolerance = 0.0;            // pixels
    CRect m_LayoutRect;                     // cells connected to the home cell, inclusive
    CRect m_HomeRowExtent;                  // columns of row 0 reached from the home cell
    int m_RowSeam = 0;                      // column where the row's two walks met; 0 when walked one way
    std::vector<CKpic*> m_LayoutGrid;       // cell -> picture over m_LayoutRect
    TwoPointRecord m_RowEstimate;           // estimate of the picture row (seven values)
    double m_SavedFocal = 0.0;              // picture state saved before a drop is tried
    double m_SavedRoll = 0.0;
    CDPoint m_SavedDirection;               // x = yaw, y = pitch
    double m_SavedCommonFocal = 0.0;
    std::vector<PointEntry> m_Regions{PointEntry()}; // open control points as regions
    int32_t m_RegionsValid = 0;             // 1 after m_Regions was rebuilt
    int32_t m_Progress[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // c0..c9; c9 the last tick
    int32_t m_Activity = 0;                 // code of the last kind of operation
    int32_t m_ChangedOnLoad = 0;            // 1 when the last open dropped or resized photos
    int32_t m_JobMode = 0;                  // -1 broken, 0 off, 1 any press breaks, 2+ timer ring
    int32_t m_RenderShape = 0;              // 1 circle, 2 ellipse, else the full rectangle
    CRect m_RenderArea;                     // output-plane units
    int32_t m_OverlapMode = 1;              // 0..3
    int32_t m_OutputWidth = 2304;
    int32_t m_OutputHeight = 2304;
    CRect m_ScaledRect;                     // (ox, oy, ox + W, oy + H)
    CPoint m_RenderOffset;                  // (-ox, -oy)
    double m_RenderScale = 1.0;             // output-plane units per raster pixel
    int32_t m_BlendStrength = 10;           // 0..100
    int32_t m_BlockColumns = 0;             // render blocks of 16 x 16 pixels
    int32_t m_BlockRows = 0;
    int32_t m_BlockCount = 0;
    std::vector<int32_t> m_BlockFlags;      // one per block column of the band
    CDPoint m_ImageCentre;                  // circle or ellipse of shapes 1 and 2
    double m_RadiusX = 0.0;
    double m_RadiusY = 0.0;
    double m_SincTable[200] = {};           // windowed sinc
    double m_EdgeTable[200] = {};           // edge weights
    std::vector<CRgbSum> m_RenderCells;     // accumulator of the band being rendered
    std::string m_RenderFailedPath;         // picture whose image could not be made available
    CKpic* m_SavedBase = nullptr;           // base placement remembered for a later restore
    int32_t m_SavedBaseSlot = 0;
    CDPoint m_SavedBaseDirection;
    double m_SavedBaseFocal = 1000.0;
    int32_t m_StepMarker = 0;               // step marker of the focal searches and refits
    int64_t m_FocalScoreCount = 0;          // focal evaluations of the searches so far
    // Threads that score the offset scans' trials: 1 scores them one after another, 0 uses the
    // processors available (at most 8). The scan's result is the same with any count.
    int32_t m_ScanThreads = 0;
    // Memory ran short during the running fit: 0 no, 1 and the host has told the user, 2 and
    // nobody has yet.
    int32_t m_MemoryShort = 0;
    // Turn (radians) added to the neighbour's roll that the pair match starts a picture from:
    // 0 but for the plain fit's extra tries at a rolled start.
    double m_PairRollTurn = 0.0;
};
