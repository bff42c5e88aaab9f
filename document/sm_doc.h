// The project document: the one document of the program. It owns the picture set facade and
// the engine's host adapter, the picture entries that the work space shows as pieces, the open
// picture windows and every project-wide choice not kept in the picture set (projection
// defaults, rendering area, output settings, priorities, aux lines, piece size, zoom). Every
// change is told to the views by an update hint; the engine reaches the views through it.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "document/document_base.h"
#include "document/update_hint.h"
#include "picset/host_document.h"
#include "picset/picture_entry.h"

struct CJpegPicture;

class CKpic;
class CMcHost;
class CMcomp;
class CBitmapBuffer;

// ---- What the document asks of its views and windows ---------------------------------------

// The work view ("CSmView").
class IWorkView : public IDocumentView {
public:
    const char* GetRuntimeClassName() const override { return "CSmView"; }
    // One step of the progressive picture loading: 1 while more is to do.
    virtual int ProcessLoadQueue() = 0;
    // Invalidates the whole view and repaints it at once.
    virtual void RepaintNow() = 0;
    // Repaints what is invalid at once.
    virtual void UpdateNow() = 0;
    virtual void MarkCellsInArea() = 0;
    virtual void EraseMarkedCells() = 0;
    virtual void ClearCanvas() = 0;
    // Queues the picture for progressive loading.
    virtual void QueuePictureLoad(const std::string& path) = 0;
};

// The picture information view ("CThumView").
class IThumView : public IDocumentView {
public:
    const char* GetRuntimeClassName() const override { return "CThumView"; }
    // 1 when the entry's thumbnail is now shown, -1 when it cannot be.
    virtual int SetThumbnail(int entry) = 0;
    // Invalidates and repaints at once.
    virtual void RepaintNow() = 0;
    // The client area in screen coordinates.
    virtual CRect ScreenClientRect() const = 0;
};

// An open picture window, identified by the path of its picture.
class IPictureWindow {
public:
    virtual ~IPictureWindow() = default;
    virtual const std::string& GetPath() const = 0;
    // Whether its window still exists.
    virtual bool HasWindow() const = 0;
    virtual void DestroyWindow() = 0;
    // Opens the picture; 1 on success.
    virtual int Open(const std::string& path, int width, int height, int turn) = 0;
    // The bitmap it shows; none before it has one.
    virtual const CBitmapBuffer* GetBitmap() const = 0;
    // Builds its display bitmap again (the picture's colour settings changed) and repaints.
    virtual void RefreshDisplay() {}
    // Its window rectangle in screen coordinates.
    virtual CRect ScreenRect() const { return CRect(); }
};

// A modeless tool dialog the document owns (the Option dialog, the colour fit manager).
class IToolDialog {
public:
    virtual ~IToolDialog() = default;
    virtual bool HasWindow() const = 0;
    virtual void DestroyWindow() = 0;
    // Above 0 while shown; its window rectangle in screen coordinates.
    virtual int GetState() const { return 0; }
    virtual CRect ScreenRect() const { return CRect(); }
    // The colour fit manager: shows the named picture ("" none); 1 when it took it.
    virtual int OpenForPicture(const std::string&) { return -1; }
    // The colour fit manager: a picture dropped at a screen point; -1 for an empty name.
    virtual int DropPicture(const std::string&, CPoint) { return -1; }
};

// Reads an image file at a size (see LoadImageFile); tests install a counting reader.
using ImageReader = std::function<int(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region)>;
// nullptr restores the image-file dispatch.
void SetImageReader(ImageReader reader);

// ---- Replaceable process-wide pieces --------------------------------------------------------

// Makes the picture set facade for every new project; tests install one that makes fakes.
using FacadeFactory = std::function<std::unique_ptr<CMcomp>()>;
std::unique_ptr<CMcomp> MakeFacade();
// nullptr restores the plain factory (a real CMcomp).
void SetFacadeFactory(FacadeFactory factory);

// Makes a picture window for a parent frame; none when it cannot be made. Without a window
// layer no picture window can be made.
using PictureWindowFactory = std::function<std::unique_ptr<IPictureWindow>(IFrameWindow* parent)>;
void SetPictureWindowFactory(PictureWindowFactory factory);
std::unique_ptr<IPictureWindow> MakePictureWindow(IFrameWindow* parent);

// Opens the guide document of a stem ("" = the compact guide); 1 when it was opened. The window
// layer installs the opener; without one nothing is opened (-1).
using GuideOpener = std::function<int(const std::string& stem)>;
void SetGuideOpener(GuideOpener opener);
int OpenGuide(const std::string& stem);

// The facade's unit scale as recorded when the document was made.
double FacadeUnitScale();

// Ends the program with an exit code after an unrecoverable failure (memory exhausted).
// The plain handler calls std::exit; tests install one that records the code and throws.
using FatalExitHandler = std::function<void(int code)>;
void SetFatalExitHandler(FatalExitHandler handler);
void FatalExit(int code);

// The exit code after the memory message.
constexpr int kExitOutOfMemory = 3;

// Process-wide values of the idle step: a status text waiting for the views, the count of
// consecutive quiet seconds and the idle budget.
extern std::string PendingStatusText;
// Back to the values at program start (the idle counters, the pending text, the facade and
// picture-window factories, the exit handler).
void ResetDocumentProcessState();

// ---- The document ---------------------------------------------------------------------------

class CSmDoc : public CDocument, public IHostDocument {
public:
    CSmDoc();
    ~CSmDoc() override;

    // ---- Life cycle ------------------------------------------------------------------------
    // The project's initial state; 1. Out of memory for the entries shows the memory message
    // and ends the program.
    int ResetProject();
    // Creates, once each, the Option dialog and the colour fit manager with the given makers;
    // empties the status message and the job display. 1.
    int CreateToolDialogs(const std::function<std::unique_ptr<IToolDialog>()>& makeOptions,
                          const std::function<std::unique_ptr<IToolDialog>()>& makeColorFit);
    // Empties the long-job display (text, guide, pressed mark, both rectangles).
    void ClearJobDisplay();
    // The idle step; true while more idle time is wanted.
    bool OnIdleStep();

    // ---- Views -----------------------------------------------------------------------------
    IThumView* FindThumView() const;
    IWorkView* FindWorkView() const;
    // Engine notification to the work view: pieces refreshed, then by code 2 mark cells,
    // 3 erase marked cells, 5 clear, 6 repaint; a text is queued for loading; then the redraw.
    void NotifyWorkView(int code, const std::string& text) override;
    void RedrawWorkView();
    void RepaintWorkView();
    // Whether the user clicked during a long job: 2 the guide link, -5 the timer mark or the
    // picture information view, 0 elsewhere.
    int TestBreakClick() override;
    // A text that is not empty becomes the status message and hint 37 is sent.
    void SetStatusMessage(const std::string& text) override;

    // ---- Priorities and projections -------------------------------------------------------
    void SaveQualityMode();
    void SaveRenderMode();
    // Family 0 to 3 of a projection code (-2 = the current projection).
    int GetProjectionFamily(int code) const;
    int GetDefaultProjection(int family) const;
    void SetProjectionCode(int code, int force);
    void ApplyProjection(int code, int force);
    std::string GetProjectionName() const;
    CKpic* GetPicture(int index) const;
    int GetPictureCount() const;
    CKpic* FindPictureByName(const std::string& name) const;

    // ---- Picture entries --------------------------------------------------------------------
    int FindEntryIndex(const std::string& name, int tag);
    int FindEntryIndex(const std::string& name) override { return FindEntryIndex(name, 0); }
    int AllocateEntry();
    int RegisterPicture(const std::string& name, int tag);
    int RegisterPictureSize(const std::string& name);
    int LoadEntryPicture(int index);
    int IsEntryReady(int index) const;
    int ReadImageFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region);
    // A whole-picture JPEG read made ahead on another thread: the next ReadImageFile of that
    // file at that canvas takes it over (the camera data becomes process-wide then, as after a
    // read of the file) instead of reading the file. Not taken while a substitute image reader
    // is set. Offer and take on the main thread only.
    bool AcceptsReadAhead() const;
    void OfferReadAhead(CJpegPicture&& picture);
    void DropReadAhead();
    int ReserveImageMemory(const std::string& path, int64_t bytes);
    void ClearDropList();

    // ---- Picture windows ---------------------------------------------------------------------
    int OpenPictureWindow(IFrameWindow* parent, const std::string& path, int width, int height, int turn);
    // "Current file format is not supported.", with what the last size query or read of a picture
    // found wrong: the text a refused picture is shown with.
    static std::string UnreadableText();
    IPictureWindow* FindPictureWindow(const std::string& path);
    int CountPictureWindows(std::string& path);
    int ClosePictureWindows(const std::string& path);
    int RemovePictureWindow(IPictureWindow* window);
    // Destroys every picture window (the program is ending).
    void CloseAllPictureWindows();
    // The frame of the work view, else of the first view; none without a view or a window.
    IFrameWindow* GetViewFrame() const;

    // ---- Texts and the rendering area ---------------------------------------------------------
    std::string UpdateTitleText(const std::string& text);
    void FitRenderAreaToPictures(const CRect& view);
    void ClipRenderAreaToView(const CRect& view);
    // After a fit: the area becomes the bounding rectangle of the placed pictures, so that the
    // whole fitted panorama is what is shown and rendered (nothing when none is fitted). A
    // refining fit (`newPictures` false) keeps an area the user has set since.
    void SetRenderAreaToFittedPictures(bool newPictures);
    void CenterRenderArea();
    int SetDefaultRenderArea();
    // Output size for a step (1 images, 24 the movie) from the area and the size mode.
    CSize GetOutputSize(int step);
    // The size rule of one size mode (0 large, 1 medium, 2 small, 3 the user's scale).
    CSize CalcOutputSize(int mode, int step);

    // ---- Render and Save -------------------------------------------------------------------
    // The whole command: the save dialog, the checks, the render and the outcome's report.
    void RenderAndSave();
    // Renders and writes an image file (BMP, JPEG, TIFF, PNG): 1 written, 0 nothing was
    // rendered, -1 failure or break (a file of that name is then kept as it was).
    int RenderToFile(const std::string& path);
    // Renders the turned BMP and its parameter file and starts the movie program: 1 started,
    // 0 the program was not found, -1 any other failure or a break.
    int MakePanoramaMovie(const std::string& path);
    // Whether the path names the project file or a photo of the project.
    bool IsOwnFile(const std::string& path) const;

    // ---- Commands (the table is in commands_table.h) ----------------------------------------
    // Fit: the waiting pieces are fitted, or the fitted pictures refined when none waits.
    void OnProcessFit();
    // Fit around a full turn in the conformal panorama projection.
    void OnProcessFit360();
    void OnUnfitSelection();
    void OnUndoLastFit();
    // The one recorded undo.
    void OnProcessUndo();
    void OnProcessOptionBox();
    // Status message when the output size is more than Render and Save would write.
    void WarnAboutOutputSize();
    void OnFilePrintCurrentPicture();
    void OnShowAuxLines();
    // Hands a picture name ("" none) to the colour fit manager: 1 taken, -1 refused or none.
    int ShowColorFitManager(const std::string& name);
    // Hands a picture dropped at a screen point to the colour fit manager; -1 without one.
    int DropOnColorFitManager(const std::string& name, CPoint screen);

    // ---- Picture intake and pieces --------------------------------------------------------
    // Entry states: 1 refused, 3 in the stock, 6 a piece, 7 a selected piece. A piece is named
    // by its entry index; kNoPiece means "every selected piece" where an operation allows it.
    static constexpr int kNoPiece = -1;
    // The cell of a piece that lies in no cell of the grid.
    static const CPoint kNoCell;
    int GetPieceCount() const { return static_cast<int>(m_pieceList.size()); }
    int CountSelectedPieces() const;
    int CountSelectedFittedPieces() const;
    int CountFittedPieces() const;
    int CountSelectedUnfittedPieces() const;
    // -2 nothing to fit, -1 no piece laid in a cell, else the laid pieces not yet fitted.
    int CountPiecesToFit() const;
    int SelectAllPieces();
    int DeselectAllPieces();
    int GetPieceEntry(int n) const;
    bool IsPiece(int entry) const;
    int GetFirstSelectedEntry() const;
    int FindPieceIndexByName(const std::string& name) const;
    // The open-several dialog; 1, or -1 when cancelled.
    int ImportPhotos();
    int AddFirstDroppedPicture();
    int AddDroppedPictures();
    CKpic* EnterPieceInComp(int entry);
    int RemovePictureFromComp(int entry);
    void ReturnPieceToStock(int entry);
    void ReturnAllPiecesToStock();
    int EjectPieces(int piece);
    int EjectUselessPieces();
    int UnfitPiece(int piece);
    std::string HitTestFittedPiece(CPoint point);
    std::string HitTestDropTarget(CPoint screenPoint);
    int ProposeProjection();
    int PlaceOnFittedPicture(int entry);
    int PutPieceAtCell(int entry, int column, int row, int mode);
    int ClearTiling();
    int DropPiece(int entry);
    int PlacePiecesInRow(int entry);
    // Every picture back to unfitted, with an undo snapshot.
    void OnClearAllFit();

    // ---- Piece state synchronisation -------------------------------------------------------
    int PreparePiecesForSave();
    int SyncPieceStates();
    int RestorePieceColors();
    int SetPieceCell(int entry, int column, int row);
    void SetPictureTurn(const std::string& name, int turns);
    CPoint ThumbPointToPicture(int entry, CPoint point) const;
    CPoint PiecePointToPicture(int entry, CPoint point, const CRect& piece) const;
    CPoint PicturePointToPiece(int entry, CPoint pixel, CSize piece) const;
    int TurnSelectedPieces(int steps);
    // The engine's grid cells, the pieces' states and the layout brought up to date.
    void RefreshPieces();

    // ---- Picture images and colour settings ------------------------------------------------
    // A memory shortage keeps every picture of the project: the images of the others are given
    // up and the read tried again, or the picture stays without its image (-5).
    int LoadPictureImage(const std::string& path) override;
    // Frees the full-size images of every picture but `keep`; how many were freed.
    int ReleasePictureImages(const std::string& keep);
    // The memory message, told once per long job (every time outside one).
    void ReportMemoryShortage(unsigned type = 0);
    int ApplyColorModel(int count, const CColorModel& model, const std::string& name);
    int ApplyColorModelToPicture(const std::string& name, const CColorModel& model);

    // ---- Inline tilings ----------------------------------------------------------------------
    int LayoutSingleInline();
    int LayoutDualInline();
    int LayoutTripleInline();
    int LayoutQuadInline();
    int LayoutPentInline();
    int CountLeadingUnfitted() const;
    void LayRow(int start, int count, CPoint cell, int middle);

    // ---- Work-space layout -----------------------------------------------------------------
    int LayoutPieces(int flag, CSize half);
    // 3 when the frame was written, 0 when the cell is refused.
    int SetFrame(int column, int row, CPoint centre, int halfWidth, int halfHeight);
    std::vector<int> OrderPiecesByDistance() const;
    void ClearWorkSpaceCells();
    void ClearRenderRequest();
    // The grid cell (column, row) whose frame holds the work point; kNoCell for none.
    CPoint FindCellAt(CPoint point) const;
    // Index of a cell in m_cellRects; -1 outside the grid.
    static int CellIndex(int column, int row);

    // ---- The engine's host (IHostDocument) -------------------------------------------------
    int GetBusyState() const override { return m_busyState; }
    void SetBusyState(int state) override { m_busyState = state; }
    int GetStepFlags() const override { return m_stepFlags; }
    void SetStepFlags(int flags) override { m_stepFlags = flags; }
    void SetCurrentEntry(int index) override { m_currentEntry = index; }
    bool HasThumView() override { return FindThumView() != nullptr; }
    void ShowThumbnail(int entry) override;
    void RepaintThumView() override;
    void UpdateAllViews(const void* sender, int hint, const std::string* object) override;
    using CDocument::UpdateAllViews;

    // ---- Members (read and written by the views and tool windows) -----------------------------
    std::unique_ptr<CMcomp> m_pComp;
    std::unique_ptr<CMcHost> m_pHost;
    std::unique_ptr<IToolDialog> m_pOptionsDlg;
    std::unique_ptr<IToolDialog> m_pColorFitDlg;
    std::vector<CPictureEntry> m_entries;
    std::list<int> m_pieceList;
    std::list<std::unique_ptr<IPictureWindow>> m_pictureWindows;
    const CBitmapBuffer* m_pPrintBitmap = nullptr;
    int m_currentEntry = -2;
    int m_dropFlag = 0;
    int m_auxLineMode = 0;
    int m_pieceSizePercent = 100;
    int m_zoomDivisor = 1;
    CPoint m_dragOrigin;
    CPoint m_dragPoint;
    int m_thumbDragState = 0;
    int m_thumbDragTick = 0;
    std::string m_droppedNames;
    CPoint m_dropAnchor;
    CPoint m_dropPoint;
    CPoint m_dropOffset;
    double m_circlingTurn = 0.0;
    static constexpr int kGridColumns = 85;
    static constexpr int kGridRows = 29;
    static constexpr int kCellCount = kGridColumns * kGridRows;
    static constexpr int kCenterCell = 1232;
    std::vector<CRect> m_cellRects = std::vector<CRect>(kCellCount);
    CRect m_cellRange;
    CRect m_baseRect;
    CSize m_cellSize{240, 240};
    int m_cellCount = 0;
    int m_panoramaDefault = 22;
    int m_fisheyeDefault = 32;
    int m_ringFisheyeDefault = 31;
    std::string m_archivePath;
    bool m_changedOnOpen = false;
    int m_sizeMode = 1;
    int m_areaShown = 0;
    std::string m_lastOutputPath;
    CRect m_renderArea;
    // The area the last fit gave (see SetRenderAreaToFittedPictures).
    CRect m_fitArea;
    double m_outputScale = 1.0;
    CSize m_outputSize{640, 640};
    int m_outputDpi = 288;
    int m_areaMode = 0;
    int m_renderSetup = 0;
    CRect m_defaultArea;
    int m_fullTurnWidth = 0;
    int m_jpegQuality = 10;
    int m_fitPriority = 1;
    int m_renderPriority = 1;
    CRect m_renderRequest;
    std::string m_renderRequestName;
    std::string m_statusMessage;
    std::string m_jobText;
    int m_jobPress = 0;
    CRect m_jobBreakRect;
    CRect m_jobLinkRect;
    std::string m_jobGuide;
    int m_dropHintCount = 0;
    int m_refreshFlags[4] = {1, 1, 1, 1};
    int m_busyState = -2;
    int m_stepFlags = 0;
    std::list<std::string> m_readImages;
    int m_idleStepMode = 2;
    // The job that was last told of a memory shortage (0: none running then).
    int m_memoryToldJob = 0;
    // How many pictures the project had when it was read from or written to m_archivePath.
    int m_picturesInFile = 0;
    int m_undoKind = 0;
    std::list<std::string> m_undoNames;
    // The clock second of the aux-line button's previous press.
    int m_auxPressSecond = -1;

protected:
    bool OnNewDocument() override;
    bool OnOpenDocument(const std::string& path) override;
    bool ChangedOnOpen() const override { return m_changedOnOpen; }
    bool OnSaveDocument(const std::string& path) override;
    void OnTitleChanged() override { UpdateTitleText(std::string()); }

private:
    // The memory message, then the end of the program.
    void ReportOutOfMemory();
    // The idle step's work (OnIdleStep keeps it from running inside itself).
    bool IdleStep();
    bool m_inIdleStep = false;
    // Pieces, layout and hints after a project was read.
    void AfterProjectLoaded();
    // A new facade joined to the host.
    std::unique_ptr<CMcomp> NewFacade();
    // Entry fields and camera texts after a read.
    void SetCameraTexts(CPictureEntry& entry, bool fromLoad);
    void RegisterCommands();
    void RegisterCommandTable();
    // Four frames of the given half size around an outline at a cell; true when one was set.
    bool SetFramesAround(CPoint cell, const CRect& outline, CSize half);
    // Lays the pieces in n rows of equal blocks.
    void LayoutInline(int rows);
    // The rows layout for 3 to 5 rows with its refusals.
    int LayoutRows(int rows);
    // Refusal texts through the status message.
    void RefusePicture(const std::string& name, bool unreadable);
    // The result of the last picture read of an entry (below -4: memory ran out).
    int m_lastEntryRead = 1;
    std::unique_ptr<CJpegPicture> m_readAhead;
};
