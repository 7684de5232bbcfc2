// Writes the dialog templates the show registers as a 32-bit resource file
// (.res): the same bytes the Linux dialog manager reads become RT_DIALOG
// resources of the Windows executable, in the show's language (Finnish).
#include <win32resource.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "setupdialog.h"

namespace {

constexpr WORD kDialogType = 5;              // RT_DIALOG
constexpr WORD kFinnish = 0x040B;            // language 1035
constexpr WORD kDialogMemoryFlags = 0x1030;  // moveable, pure, discardable

void PutDword(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutWord(std::vector<uint8_t>& out, WORD v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// One entry: its 32-byte header (type and name as ordinals), then the data
// padded to a DWORD boundary.
void PutEntry(std::vector<uint8_t>& out, WORD type, WORD name, WORD flags, WORD language,
              const std::vector<WORD>& data) {
    PutDword(out, static_cast<uint32_t>(data.size() * sizeof(WORD)));
    PutDword(out, 32);
    for (WORD w : {WORD{0xFFFF}, type, WORD{0xFFFF}, name}) PutWord(out, w);
    PutDword(out, 0);  // data version
    PutWord(out, flags);
    PutWord(out, language);
    PutDword(out, 0);  // version
    PutDword(out, 0);  // characteristics
    for (WORD w : data) PutWord(out, w);
    while (out.size() % 4) out.push_back(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: halcyon2-resources OUT.res\n");
        return 2;
    }
    // The dialog registers its template when its module is linked in.
    volatile auto keep = &SetupDialogProc;
    (void)keep;
    std::vector<uint8_t> out;
    PutEntry(out, 0, 0, 0, 0, {});  // the empty entry that marks a 32-bit .res file
    for (const auto& [id, dialogTemplate] : Win32DialogResources())
        PutEntry(out, kDialogType, id, kDialogMemoryFlags, kFinnish, dialogTemplate);
    std::ofstream file(argv[1], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file.flush()) {
        std::fprintf(stderr, "halcyon2-resources: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
