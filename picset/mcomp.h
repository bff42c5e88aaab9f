// The picture set facade: the one door through which the project document and the views
// drive the engine. It owns the picture set; nearly every operation forwards to the picture
// set's operation of the same meaning, and a few add rules of their own (exact-path lookup,
// the fit-mode value around the automatic fit, the drag preview's edge bars, ...).
// The operations the project document relies on whose engine side may not answer yet are
// virtual, so that a test can stand in a facade of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "common/value_types.h"

class CArchive;
class CKpic;
class CMcCore;
class CMcHost;
class CPixelArray;

class CMcomp {
public:
    // Creates the picture set; running out of memory here throws std::bad_alloc.
    CMcomp();
    virtual ~CMcomp();
    CMcomp(const CMcomp&) = delete;
    CMcomp& operator=(const CMcomp&) = delete;

    int OnNewDocument() { return 1; }
    // The picture set reports through that host from now on (not owned).
    void SetHost(CMcHost* host);
    // Stores or loads the whole project through the picture set.
    int Serialize(CArchive& ar);

    // The picture set itself, for the document's own bookkeeping and for tests.
    CMcCore& Core() { return *m_core; }
    const CMcCore& Core() const { return *m_core; }

    // ---- Forwarders ----------------------------------------------------------------------
    CKpic* GetPictureAt(int index) const;
    int GetPictureCount() const;
    CKpic* OpenPicture(const std::string& path);
    // Picture set lookup: paths compare without regard to letter case.
    int FindPictureIndex(const std::string& path) const;
    virtual int GetFittedCount() const;
    int DeletePicture(int index);
    void SetProjection(int code);
    int GetProjection() const;
    int RefreshCommonFocal();
    virtual int UnfitPicture(const std::string& path);
    int GetLensFigures(double& focal35, double& horizontalDegrees, double& verticalDegrees, double& sensorWidth,
                       double& sensorHeight);
    virtual int AssignGridCells();
    virtual int PlaceDroppedPicture(const std::string& path, CPoint picturePoint, CPoint outputPoint, int refineMode,
                            int searchMode, double rollChange);
    static double GetCirclingSpeed(int x, int y);
    virtual CRect GetBoundingRect() const;
    CRect GetPictureOutline(CKpic* picture);
    virtual int ResetAllPictures();
    int ApplyDefaultFocal(const std::string& path);
    int UnplaceUnfitted();
    virtual int SaveUndoSnapshot();
    virtual int RestoreUndoSnapshot();
    virtual int OptimizeFit();
    int PollBreak();
    int GetBreakMode() const;
    void SetBreakMode(int mode);
    int RenderPictures(int band, CPixelArray& pixels);
    void GetOutputArea(int option, CRect& area);
    int GetBlendStrength() const;
    void SetOverlapMode(int mode);
    void SetFitQuality(int value);
    int GetFitLevel() const;
    void SetRenderQuality(int value);
    int HitTestPicture(CKpic* picture, int x, int y, int size, int margin);
    virtual CPoint PixelToPictureD(CKpic* picture, double x, double y);

    // ---- Operations with rules of their own ----------------------------------------------
    // The first record whose path equals the text exactly (letter case counts); null if none.
    CKpic* FindPicture(const std::string& path) const;
    // Stores the piece's layout cell in the picture with exactly that path.
    void SetPieceSlot(const std::string& path, int column, int row);
    // The outline of the picture with exactly that path when it is placed (status above 1),
    // else an empty rectangle.
    virtual CRect GetPlacedOutline(const std::string& path);
    // The point marks for the named picture (case-insensitive), none for the base picture.
    void GetPointMarks(const std::string& path, std::vector<MarkPoint>& marks);
    // Work point <-> picture pixel of the named picture (case-insensitive); (0, 0) when the
    // set has no such picture.
    CPoint PixelToPicture(const std::string& path, int x, int y);
    CPoint PictureToPixel(const std::string& path, int x, int y);
    // The turn is clamped to -2 pi .. 2 pi, then the picture set finishes the move.
    int FinishDrag(int dx, int dy, double angle);
    int FinishMove(int dx, int dy, double angle);
    // The automatic fit with the fit-mode value -2; the 360-degree flavour runs it with 2 and
    // puts -2 back afterwards. -5 when memory ran short.
    virtual int RunAutoFit();
    virtual int RunAutoFit360();
    // One background step: 3 when the number of ready pictures changed, else 1 when the step
    // answered 1, else 0.
    virtual int IdleStep(int level);
    // Prepares the renderer: progress reset, one break poll, every picture's image present,
    // then the set-up. 0 or less failure (-5 or less out of memory), else the span in degrees.
    virtual int SetupRender(const CRect& area, int width, int height, int shape);
    // 1 when the picture can be shown in the current projection.
    int IsPictureInView(const CKpic* picture) const;
    // The work points of latitudes +-(pi/2 - 0.001) at longitude 0, widened by one pixel.
    void GetVerticalLimits(CPoint& top, CPoint& bottom) const;
    static double GetUnitScale() { return 1.0; }
    // The drag preview of the picture grabbed at hotspot: mode is read and rewritten by the
    // picture set, dragPoint moves to a snapped place, turn (radians) is added to the picture's
    // roll while it is moved. Edge flags of 16 or more are painted as bars into the 128 x 128
    // preview.
    int DragPicture(const std::string& path, CPoint hotspot, int& mode, CPixelArray& preview, CPoint* dragPoint,
                    int scale, double turn = 0.0);

    // Side of the drag preview and the colour of its edge bars.
    static constexpr int kPreviewSide = 128;
    static constexpr COLORREF kEdgeBarColour = 0x000050D2;
    // Paints the bars of edge flags 16 or more into a preview of at least 128 x 128 entries:
    // 0x10 the 6 right-most columns, 0x20 the 5 bottom rows, 0x40 the 6 left-most columns,
    // 0x80 the 5 top rows, 256 or more all four.
    static void PaintEdgeBars(CPixelArray& preview, int flags);
    // The turn of a move clamped to -2 pi .. 2 pi (the engine's pi).
    static double ClampTurn(double angle);

private:
    std::unique_ptr<CMcCore> m_core;
};
