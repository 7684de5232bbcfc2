#include "scenesnapshot.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "engine/klxdocument.h"
#include "engine/scenebuilder.h"

namespace {

constexpr const char* kModule = "scenesnapshot";

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};

std::unique_ptr<IDirect3DSurface8, Releaser> BackBuffer(IDirect3DDevice8* device) {
    IDirect3DSurface8* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface)) || !surface)
        throw cvcore::Exception("SceneSnapshot::ReadFrame()", "GetBackBuffer failed", kModule);
    return std::unique_ptr<IDirect3DSurface8, Releaser>(surface);
}

uint32_t Expand(uint32_t value, int bits) { return bits == 5 ? (value << 3 | value >> 2) : (value << 2 | value >> 4); }

// One locked row to A8R8G8B8 (alpha forced opaque); false for a format
// a back buffer of ours never has.
bool ConvertRow(D3DFORMAT format, const uint8_t* src, uint32_t* dst, int width) {
    for (int x = 0; x < width; ++x) {
        if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8) {
            uint32_t p;
            std::memcpy(&p, src + x * 4, 4);
            dst[x] = p | 0xFF000000u;
            continue;
        }
        const uint32_t p = static_cast<uint32_t>(src[x * 2] | src[x * 2 + 1] << 8);
        if (format == D3DFMT_R5G6B5)
            dst[x] = 0xFF000000u | Expand(p >> 11, 5) << 16 | Expand(p >> 5 & 63, 6) << 8 | Expand(p & 31, 5);
        else if (format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5)
            dst[x] = 0xFF000000u | Expand(p >> 10 & 31, 5) << 16 | Expand(p >> 5 & 31, 5) << 8 | Expand(p & 31, 5);
        else
            return false;
    }
    return true;
}

}  // namespace

SceneSnapshot::SceneSnapshot(const std::string& path, int width, int height) {
    OpenDevice(width, height);
    LoadScene(path);
}

SceneSnapshot::~SceneSnapshot() = default;

void SceneSnapshot::OpenDevice(int width, int height) {
    // A bare popup: its client area is the whole window, so the back buffer
    // (which takes the client size) is exactly the asked size.
    window_.Open(width, height, "halcyon2-scene", 0);
    if (!window_.GetWindowHandle()) throw cvcore::Exception("SceneSnapshot()", "cannot open a window", kModule);
    DeviceSettings settings;
    settings.window = window_.GetWindowHandle();
    settings.width = static_cast<uint32_t>(width);
    settings.height = static_cast<uint32_t>(height);
    D3DDISPLAYMODE desktop{};
    if (SUCCEEDED(device_.GetDirect3D()->GetAdapterDisplayMode(0, &desktop))) settings.format = desktop.Format;
    settings.flags = DeviceSettings::LOCKABLE_BACKBUFFER;
    if (device_.SupportsHardwareTnL(0)) settings.flags |= DeviceSettings::HARDWARE_TNL;
    device_.CreateDevice(settings);
    CheckBackBufferSize(width, height);

    // The show's own start state: lighting off, linear filtering everywhere.
    IDirect3DDevice8* d = device_.GetDevice();
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (DWORD stage = 0; stage < 8; ++stage) {
        d->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    }
}

// A desktop smaller than the window (or a window manager that resizes it)
// gives another back buffer size; the picture would then not be the one
// asked for.
void SceneSnapshot::CheckBackBufferSize(int width, int height) {
    D3DSURFACE_DESC desc{};
    BackBuffer(device_.GetDevice())->GetDesc(&desc);
    if (desc.Width != static_cast<UINT>(width) || desc.Height != static_cast<UINT>(height)) {
        const std::string message = "the back buffer is " + std::to_string(desc.Width) + " x " +
                                    std::to_string(desc.Height) + ", not " + std::to_string(width) + " x " +
                                    std::to_string(height) + " (is the screen smaller?)";
        throw cvcore::Exception("SceneSnapshot()", message.c_str(), kModule);
    }
}

// The scene's folder becomes the base path, as the show sets it before each
// scene, so the texture names inside the file resolve beside it. Backslashes
// become slashes: archive entries are stored and matched with slashes only,
// and Windows takes either in a file's path.
void SceneSnapshot::LoadScene(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    cvcore::SetBasePath(folder.c_str());
    KlxDocument document(name.c_str());
    SceneBuilder(scene_, device_, document).Build();
    for (const KlxCamera& camera : document.cameras) {
        const KlxNode* node = document.FindNode(camera.nodeId);
        cameraNames_.emplace_back(node ? node->name.Text() : "");
    }
}

int SceneSnapshot::FindCamera(const std::string& text) const {
    if (text.empty()) return cameraNames_.empty() ? -1 : 0;
    for (size_t i = 0; i < cameraNames_.size(); ++i)
        if (cameraNames_[i] == text) return static_cast<int>(i);
    char* end = nullptr;
    const long index = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || index < 0 || index >= static_cast<long>(cameraNames_.size())) return -1;
    return static_cast<int>(index);
}

void SceneSnapshot::SetLighting(bool on) { device_.GetDevice()->SetRenderState(D3DRS_LIGHTING, on ? TRUE : FALSE); }

void SceneSnapshot::Draw(float seconds, int camera) {
    IDirect3DDevice8* d = device_.GetDevice();
    const D3DCOLOR clear = scene_.fogEnabled ? scene_.fogColor : 0;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
    d->BeginScene();
    SceneCamera& eye = *scene_.GetCamera(camera);
    scene_.Update(seconds);
    scene_.ApplyFog(device_, eye);
    scene_.Render(device_, eye);
    d->EndScene();
}

std::vector<uint32_t> SceneSnapshot::ReadFrame(int& width, int& height) {
    const auto surface = BackBuffer(device_.GetDevice());
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    std::vector<uint32_t> pixels(static_cast<size_t>(desc.Width) * desc.Height);
    D3DLOCKED_RECT locked{};
    if (FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
        throw cvcore::Exception("SceneSnapshot::ReadFrame()", "the back buffer cannot be locked", kModule);
    bool converted = true;
    for (UINT y = 0; y < desc.Height && converted; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch;
        converted = ConvertRow(desc.Format, row, pixels.data() + size_t(y) * desc.Width, static_cast<int>(desc.Width));
    }
    surface->UnlockRect();
    if (!converted)
        throw cvcore::Exception("SceneSnapshot::ReadFrame()", "the back buffer's format cannot be read", kModule);
    width = static_cast<int>(desc.Width);
    height = static_cast<int>(desc.Height);
    return pixels;
}

// Presents and handles what arrived for the window meanwhile, so the desktop
// does not take it for a program that hangs.
void SceneSnapshot::Present() {
    device_.Present();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
