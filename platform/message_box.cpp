// The plain message box and the process-wide selection.
#include "platform/message_box.h"

#include <cstdio>

namespace platform {
namespace {

class StderrMessageBox : public IMessageBox {
public:
    int Show(const std::string& text, unsigned type) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
        return DefaultAnswer(type);
    }
};

StderrMessageBox g_plain;
IMessageBox* g_box = &g_plain;

} // namespace

int DefaultAnswer(unsigned type)
{
    switch (type & 0xF) {
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDOK;
    }
}

IMessageBox& MessageBox() { return *g_box; }
void SetMessageBox(IMessageBox* box) { g_box = box ? box : &g_plain; }

} // namespace platform

int ShowMessage(const std::string& text, unsigned type) { return platform::MessageBox().Show(text, type); }
