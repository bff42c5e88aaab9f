// How the fitting steps word what they tell the host: a numbered message goes out as its number
// in decimal while numbered messages are switched on, else as its catalogue text.
#pragma once

#include <string>

#include "common/message_catalogue.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

inline std::string FitMessage(int n) { return NumberedMessageFlag ? std::to_string(n) : MessageText(n); }

// Status-bar pane 0 text of message n; nothing without a host.
inline void FitStatus(CMcHost* host, int n)
{
    if (host)
        host->ShowStatus(0, FitMessage(n), std::string(), std::string());
}

inline void FitClearStatus(CMcHost* host)
{
    if (host)
        host->ShowStatus(0, std::string(), std::string(), std::string());
}
