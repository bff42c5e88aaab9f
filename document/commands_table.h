// The document's command table: for every command id its handler and the rules that enable and
// check its menu item and tool button. The document registers its handlers from it; the menu
// texts and accelerators are the main menu's.
#pragma once

#include <string>
#include <vector>

#include "common/basic_types.h"

class CSmDoc;

struct DocCommand {
    int id;
    void (*handler)(CSmDoc& doc);
    bool (*enabled)(const CSmDoc& doc);  // nullptr: always enabled
    bool (*checked)(const CSmDoc& doc);  // nullptr: never checked
};

// Every command the document handles, in menu order.
const std::vector<DocCommand>& DocumentCommands();
// The entry of a command id; nullptr when the document has none.
const DocCommand* FindDocumentCommand(int id);

// The Option dialog as the Option box command drives it: it is given the current values, runs
// modally and answers 1 (OK), 2 (Cancel) or 4 (preview the movie area).
class IOptionBox {
public:
    virtual ~IOptionBox() = default;
    virtual void SetOutputSize(CSize size) = 0;
    // Height / width of the rendering area: the dialog derives the height of a typed width
    // from it exactly as the document does when it writes the image.
    virtual void SetAspect(double aspect) = 0;
    // The widest output offered: a third more than the large size.
    virtual void SetReferenceWidth(int width) = 0;
    virtual void SetFamily(int family) = 0;
    virtual void SetAreaMode(int mode) = 0;
    virtual int Run() = 0;
    virtual int GetFamily() const = 0;
    // The output width shown (typed by the user or as given).
    virtual int GetWidth() const = 0;
    virtual int GetAreaMode() const = 0;
    // Whether Render and Save is to run at once after OK.
    virtual bool RenderNow() const = 0;
};

// The Option box in use (not owned); without one the command does nothing.
void SetOptionBox(IOptionBox* box);
IOptionBox* OptionBox();
