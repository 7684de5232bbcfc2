#include "assets.h"

#include <stdexcept>

#include "artwork.h"
#include "fontsheet.h"
#include "progress.h"
#include "scenes.h"

namespace content {
namespace {

void Tga(std::vector<Asset>& out, const std::string& name, const Picture& p, bool alpha = true)
{
    out.push_back({name, p.Tga(alpha)});
}

void Jpg(std::vector<Asset>& out, const std::string& name, const Picture& p, int quality = 90)
{
    out.push_back({name, p.Jpeg(quality)});
}

void Font(std::vector<Asset>& out)
{
    Picture sheet = MakeFontSheet();
    SheetMeasure m = MeasureFontSheet(sheet);
    if (m.glyphs != static_cast<int>(GlyphOrder().size()) || m.side >= 512)
        throw std::runtime_error("font sheet: " + std::to_string(m.glyphs) + " glyphs, texture side " +
                                 std::to_string(m.side));
    Tga(out, "font.tga", sheet);
}

void SmokeAndCredits(std::vector<Asset>& out)
{
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

std::vector<Asset> MakeAssets()
{
    std::vector<Asset> assets;
    Progress("font");
    Font(assets);
    Progress("logo, title, credits");
    SmokeAndCredits(assets);
    Progress("muikula pictures, greetings, violet ripple");
    Jpg(assets, "muikula/backwob.jpg", MakeSwirl());
    Tga(assets, "muikula/lintu.tga", MakeBird());
    for (int i = 0; i < 7; ++i)
        Tga(assets, "greets/greet" + std::to_string(i + 1) + ".tga", MakeGreeting(i));
    Jpg(assets, "kukka/violetti.jpg", MakeVioletRipple());
    Progress("scenes");
    for (Asset& a : MakeScenes())
        assets.push_back(std::move(a));
    return assets;
}

}  // namespace content
