// The print property dialog ("Print property"): the physical print size, the unit sizes are
// typed in, the print's place on one sheet or its spread over several sheets with an overlap
// and registration marks, and a preview of the paper with the picture. Its values live in a
// plain model (print_layout.h); the dialog shows them, takes the user's input into the model
// and rewrites its texts. "Printer Setup" ends it with end reason 3 so that the caller can show
// the print dialog and then this dialog again.
#pragma once

#include <QImage>

#include <functional>
#include <string>

#include "imagefile/bitmap.h"
#include "platform/qt/dialog_base.h"
#include "views/print_layout.h"

class CPrintPreviewBox;

class CPrintPropertyDlg : public platform::qt::CDialogBase {
    Q_OBJECT
public:
    explicit CPrintPropertyDlg(QWidget* parent = nullptr);
    ~CPrintPropertyDlg() override;

    // Shows the dialog: the scripted runner when tests installed one, else modally.
    int RunModal();

    // ---- Data exchanged with the caller -----------------------------------------------------
    std::string m_strPrinterName;
    std::string m_strOrientation;
    std::string m_strFilePath;
    const CBitmapBuffer* m_pPrintBitmap = nullptr;
    int m_nEndReason = 0;
    printing::CPrintPropertyModel m_model;

    // ---- What the window does (also driven by the tests) ------------------------------------
    // Lays the dialog out for its mode and shows the model's values: what showing it does.
    void PrepareShow();
    void OnCommand(int id, int code) override;
    void OnScroll(int id, int code) override;
    // Rewrites every edit and label from the model; `keep` is an edit whose typed text stays.
    void UpdateTexts(int keep = 0);
    // Drags in the preview (preview coordinates).
    void PreviewPress(QPoint p);
    void PreviewMove(QPoint p);
    void PreviewRelease(QPoint p);
    // The preview as drawn last, for the tests.
    QImage RenderPreview(QSize size);
    QRect PictureRectInPreview(QSize size) const;

    // Shift and Ctrl as the spin handlers see them; tests set them.
    std::function<bool()> m_shiftDown;
    std::function<bool()> m_ctrlDown;

protected:
    bool OnInitDialog() override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void ApplyModeToWindow();
    void TypedLength(int id);
    void TypedMargin(int id);
    double PreviewScale(QSize size) const;

    CPrintPreviewBox* m_preview = nullptr;
    bool m_updating = false;
    // A running drag: 0 none, 1 move, 2 left, 3 right, 4 top, 5 bottom.
    int m_nDragHit = 0;
    QPoint m_ptDragStart;
    CPoint m_dragOffset;
    CSize m_dragSize;
    QImage m_previewBitmap;
};

// Tests replace the modal run of the dialog: the runner works the dialog and answers IDOK (1)
// or IDCANCEL (2). nullptr restores the modal run.
using PrintDialogRunner = std::function<int(CPrintPropertyDlg& dlg)>;
void SetPrintDialogRunner(PrintDialogRunner runner);
