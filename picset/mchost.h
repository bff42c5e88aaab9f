// The engine host adapter: the one door through which the picture set and the engine report
// to the project document (numbered catalogue messages, status texts, questions, progress
// with the break question, view notifications) and have a picture's pixels loaded.
#pragma once

#include <cstdint>
#include <string>

#include "common/basic_types.h"
#include "picset/host_document.h"

class CKpic;

// Notification codes the engine sends through CMcHost::UpdateAllViews.
enum HostHint : int {
    HINT_FIT_CHANGED = 41,       // a picture became fitted or the fit of pictures changed
    HINT_PICTURE_PLACEMENT = 53, // one picture's placement changed (object: its path)
    HINT_PICTURE_ADDED = 61,     // a picture was added
    HINT_SET_CHANGED = 67,       // pictures were added, removed or dropped
    HINT_UNFITTED_UNPLACED = 83, // unfitted pictures were unplaced
    HINT_BOUNDS_CHANGED = 97,    // the bounding rectangle of the placed pictures changed
    HINT_UNFITTED_FROM = 103,    // the pictures from that picture on were un-fitted (object: its path)
};

// The engine's operations are virtual so that tests can stand in a recording host.
class CMcHost {
public:
    // Loads the message catalogue.
    CMcHost();
    virtual ~CMcHost();
    CMcHost(const CMcHost&) = delete;
    CMcHost& operator=(const CMcHost&) = delete;

    // The document the host reports to (not owned).
    void SetDocument(IHostDocument* document) { m_document = document; }
    IHostDocument* GetDocument() const { return m_document; }

    // Start of a long step: shows the named picture in the picture information view, marks
    // the document busy, sets its step flags by the number and shows the text in pane 0.
    virtual void BeginStep(const std::string& number, const std::string& unused1, const std::string& unused2,
                           const std::string& path);
    // End of a long step: step flags cleared unless they are 2; busy state -2.
    virtual void EndStep();
    // A progress tick of a long job and its break test; 2 to go on, -1 to stop.
    virtual int OnProgress(int kind, int tick);
    // A question or notice in a message box; the box's answer. Some numbers are answered
    // without a box, and an empty catalogue text answers 1.
    virtual int AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b);
    // Type below 1: status pane 0; 1 or more: the document's status message. An empty
    // catalogue text shows nothing.
    virtual void ShowMessage(const std::string& number, int type, const std::string& a, const std::string& b);
    // The formatted text goes to the pane (an empty text clears it).
    virtual void ShowStatus(int pane, const std::string& number, const std::string& a, const std::string& b);
    virtual void ClearStatus();
    // 1 while the left or right mouse button, Esc or Return is down.
    virtual int IsBreakKeyDown();
    virtual void ShowViewMessage(int kind, const std::string& text);
    // Forwards a change notification to the document's views; 1 when a document took it.
    virtual int UpdateAllViews(const void* sender, int hint, const std::string* object);
    // The document loads the picture's pixels; above 0 success.
    virtual int LoadPictureImage(const std::string& path);
    // (0, 0, width, height) of an image file, empty when it cannot be sized.
    virtual CRect GetImageFileRect(const std::string& path);

    virtual int GetInteractionLevel() { return 1; }
    virtual int GetAddMode() { return 0; }
    virtual std::string GetDefaultName() { return std::string(); }
    // No replacement path is offered: the path is emptied and 0 returned.
    virtual int QueryReplacementPath(std::string& path);

    // Hooks the engine calls; they do nothing.
    virtual void OnPlacementChanged(int flag);
    virtual void OnPicturePlaced(int code);
    virtual void OnPictureChanged(const std::string& path);
    virtual void OnPictureEvaluated();
    virtual void OnBaseChanged(CKpic* picture);
    virtual void OnListChanged(int code);

    // The text a message number stands for: the catalogue text of n when 0 < n < 73 (n as
    // the number's leading decimal digits), else the given text itself.
    static std::string MessageFor(const std::string& number);
    // The text with each %s or %d field replaced by the next argument and %% by %; any other
    // % sequence is kept as it stands. The arguments are never read as format strings.
    static std::string FormatMessage(const std::string& text, const std::string& a, const std::string& b);
    // The leading decimal number of a text (optional blanks and sign); 0 when there is none.
    static int MessageNumber(const std::string& number);

    // The tick of the last progress repaint, shared by all hosts; tests reset it.
    static void ResetProgressRepaint(uint32_t tick = 0);

private:
    void WaitForBreakKeyRelease();

    IHostDocument* m_document = nullptr;
};
