#include "archive/archivecontents.h"

#include <stdexcept>

#include "pictures/artwork.h"
#include "pictures/fontsheet.h"
#include "progress.h"
#include "scenes/scenelist.h"

namespace content {
namespace {

void Tga(std::vector<ArchiveEntry>& out, const std::string& name, const Picture& p, bool alpha = true) {
    out.push_back({name, p.Tga(alpha)});
}

void Jpg(std::vector<ArchiveEntry>& out, const std::string& name, const Picture& p, int quality = 90) {
    out.push_back({name, p.Jpeg(quality)});
}

void Font(std::vector<ArchiveEntry>& out) {
    Picture sheet = MakeFontSheet();
    SheetMeasure m = MeasureFontSheet(sheet);
    if (m.glyphs != static_cast<int>(GlyphOrder().size()) || m.side >= 512)
        throw std::runtime_error("font sheet: " + std::to_string(m.glyphs) + " glyphs, texture side " +
                                 std::to_string(m.side));
    Tga(out, "font.tga", sheet);
}

void SmokeAndCredits(std::vector<ArchiveEntry>& out) {
    Tga(out, "smokeandcredits/quillmark_logo.tga", MakeLogo());
    Tga(out, "smokeandcredits/halcyon2.tga", MakeTitle());
    Tga(out, "smokeandcredits/byquillmark.tga", MakeByLine());
    Jpg(out, "smokeandcredits/scene/2dlight.jpg", MakeGlowPuff());
    for (int i = 0; i < 3; ++i)
        Jpg(out, "smokeandcredits/credits/backlayer" + std::to_string(i + 1) + ".jpg", MakeBackLayer(i));
    Tga(out, "smokeandcredits/credits/bluecloud.tga", MakeBlueCloud());
    for (int i = 0; i < 3; ++i) {
        Tga(out, "smokeandcredits/credits/credtext" + std::to_string(i + 1) + ".tga", MakeCreditText(i));
        Tga(out, "smokeandcredits/credits/credpic" + std::to_string(i + 1) + ".tga", MakeCreditPicture(i));
    }
}

}  // namespace

std::vector<ArchiveEntry> MakeArchiveContents() {
    std::vector<ArchiveEntry> entries;
    Progress("font");
    Font(entries);
    Progress("logo, title, credits");
    SmokeAndCredits(entries);
    Progress("muikula pictures, greetings, violet ripple");
    Jpg(entries, "muikula/backwob.jpg", MakeSwirl());
    Tga(entries, "muikula/lintu.tga", MakeBird());
    for (int i = 0; i < 7; ++i) Tga(entries, "greets/greet" + std::to_string(i + 1) + ".tga", MakeGreeting(i));
    Jpg(entries, "kukka/violetti.jpg", MakeVioletRipple());
    Progress("scenes");
    for (ArchiveEntry& a : MakeScenes()) entries.push_back(std::move(a));
    return entries;
}

}  // namespace content
