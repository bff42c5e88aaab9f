// A window that handles commands by id: the work view, the frame and the application each
// offer one; the frame asks them in turn (view, document, frame, application).
#pragma once

#include <optional>

#include "document/document_base.h"

class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // Runs the command; false when this target has no handler for it.
    virtual bool OnCommand(int id) = 0;
    // Enable and check state; none when this target has no handler for the id.
    virtual std::optional<CommandState> GetCommandState(int id) const = 0;
};
