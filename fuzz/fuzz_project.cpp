// Fuzz entry for the project reader: every input is loaded as a ".fit" and as a ".mcl" file.
// A load either refuses the input or gives a picture set that saves, loads and saves again to
// the same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/archive.h"
#include "platform/message_box.h"

namespace {

// Drops every photo that is not where the file says, and sizes photos without reading them.
class DroppingHost : public CMcHost {
public:
    int AskQuestion(const std::string&, int, const std::string&, const std::string&) override { return platform::IDNO; }
    void ShowMessage(const std::string&, int, const std::string&, const std::string&) override {}
    void ShowStatus(int, const std::string&, const std::string&, const std::string&) override {}
    CRect GetImageFileRect(const std::string&) override { return CRect(0, 0, 640, 480); }
};

std::vector<uint8_t> Resave(CMcCore& core)
{
    CArchive out("fuzz.fit");
    if (core.Serialize(out) != 1)
        std::abort();
    return out.Writer().Bytes();
}

void LoadAs(const char* name, std::span<const uint8_t> data)
{
    static DroppingHost host;
    CMcCore core;
    core.m_Host = &host;
    CArchive ar(name, data);
    const int code = core.Serialize(ar);
    if (code != 1)
        return;
    const std::vector<uint8_t> first = Resave(core);
    CMcCore again;
    again.m_Host = &host;
    CArchive back("fuzz.fit", first);
    if (again.Serialize(back) != 1)
        std::abort();
    const std::vector<uint8_t> second = Resave(again);
    CMcCore third;
    third.m_Host = &host;
    CArchive back2("fuzz.fit", second);
    if (third.Serialize(back2) != 1 || Resave(third) != second)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    LoadAs("fuzz.fit", bytes);
    LoadAs("fuzz.mcl", bytes);
    return 0;
}
