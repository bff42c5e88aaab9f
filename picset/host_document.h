// What the engine host adapter asks of the project document: the few fields it writes, the
// work-view and picture-information-view notifications, entry lookup, the break click test and
// loading a picture's pixels. The project document implements it; tests use a fake.
#pragma once

#include <string>

class IHostDocument {
public:
    virtual ~IHostDocument() = default;

    // Busy state: 1 at the start of a long step, the current progress tick during it, -2 at
    // its end.
    virtual int GetBusyState() const = 0;
    virtual void SetBusyState(int state) = 0;
    // Fit-mode flags of the running step (bit 0 for an additional-fitness step, the value 2
    // while one picture's position is searched).
    virtual int GetStepFlags() const = 0;
    virtual void SetStepFlags(int flags) = 0;
    // The picture entry shown in the picture information view.
    virtual void SetCurrentEntry(int index) = 0;

    // Brings the work space up to date and acts on the code (2 mark cells, 3 whiten marked
    // cells, 5 clear, 6 repaint all); a non-empty text queues that picture for progressive
    // drawing. Nothing when the document has no work view.
    virtual void NotifyWorkView(int code, const std::string& text) = 0;
    // An empty text changes nothing; otherwise it becomes the status message and the views
    // are told (update hint 37).
    virtual void SetStatusMessage(const std::string& text) = 0;
    // Index of the document's picture entry for a picture path; -2 when there is none.
    virtual int FindEntryIndex(const std::string& name) = 0;
    // The picture information view: whether it exists, showing an entry in it, and repainting
    // it at once (invalidate and update). Both do nothing when the view is absent.
    virtual bool HasThumView() = 0;
    virtual void ShowThumbnail(int entry) = 0;
    virtual void RepaintThumView() = 0;
    // Whether the user clicked to break a long job: -5 a click on the timer picture or the
    // picture information view, 2 a click on the guide link (no break), 0 nothing.
    virtual int TestBreakClick() = 0;
    // Reads the picture set's picture with that path into its pixel array: 1 loaded (or
    // already there), -1 no such picture or unreadable, 0 nothing read, below -4 out of memory.
    virtual int LoadPictureImage(const std::string& path) = 0;
    // The document's update of all views, with a hint code and an optional picture path.
    virtual void UpdateAllViews(const void* sender, int hint, const std::string* object) = 0;
};
