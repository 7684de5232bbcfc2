#include "credits.h"

#include <algorithm>
#include <cmath>

#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "screen2d.h"

namespace {

constexpr float kPi = 3.1415927f;

ComPtr<IDirect3DVertexBuffer8> CreateQuadBuffer(Device3D& device) {
    ComPtr<IDirect3DVertexBuffer8> buffer;
    if (FAILED(device.GetDevice()->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, SCREEN_FVF,
                                                      D3DPOOL_MANAGED, buffer.Out())))
        throw cvcore::Exception("Credits::Credits()", "Unable to create Vertexbuffer!", "credits");
    return buffer;
}

D3DCOLOR White(float alpha) { return (static_cast<uint32_t>(static_cast<int>(alpha)) << 24) | 0x00FFFFFFu; }

void WriteQuad(IDirect3DVertexBuffer8* buffer, const ScreenVertex (&quad)[4]) {
    BYTE* data = nullptr;
    if (FAILED(buffer->Lock(0, 0, &data, 0))) return;
    std::copy(quad, quad + 4, reinterpret_cast<ScreenVertex*>(data));
    buffer->Unlock();
}

}  // namespace

Credits::Credits(Device3D& device)
    : device_(&device), vertexBuffer_(CreateQuadBuffer(device)), burst_(device, "bluecloud.tga") {
    burst_.SetCount(5);
    burst_.SetPath({0, 0, 500}, 50);
    burst_.SetOrigin({0, 0, -250});
    burst_.SetAxes({90, 0, 0}, {0, 70, 0});
    burst_.SetHold(0);
    burst_.SetFade(250);
}

void Credits::AddPage(const char* text, const char* picture) {
    texts_.push_back(device_->textureFactory.Load(text, 0));
    pictures_.push_back(device_->textureFactory.Load(picture, 0));
}

// A page shows a card and a picture together, so only complete pairs count.
int Credits::PageCount() const { return static_cast<int>(std::min(texts_.size(), pictures_.size())); }

void Credits::DrawPicture(IDirect3DDevice8* d, int index, float alpha) {
    const D3DCOLOR c = White(alpha);
    WriteQuad(
        vertexBuffer_.Get(),
        {{200, 200, 200, c, 1, 0}, {200, -200, 200, c, 1, 1}, {-200, 200, 200, c, 0, 0}, {-200, -200, 200, c, 0, 1}});
    d->SetTexture(0, pictures_[index]);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

void Credits::DrawCard(IDirect3DDevice8* d, int index, float s) {
    d->SetTexture(0, texts_[index]);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    const float S = 50.0f * std::sin(s);
    const float K = 50.0f * std::cos(s);
    const float a = std::max(0.0f, 1.4f * std::sin(s) - 0.4f);
    const D3DCOLOR c = White(a * a * 255.0f);
    WriteQuad(vertexBuffer_.Get(), {{S, 20, 200 + K, c, 1, 0},
                                    {S, -20, 200 + K, c, 1, 1},
                                    {-S, 20, 200 - K, c, 0, 0},
                                    {-S, -20, 200 - K, c, 0, 1}});
    d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

void Credits::Draw(float time, bool setStates) {
    IDirect3DDevice8* d = device_->GetDevice();
    if (setStates) {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        SetScreenTransforms(d);
    }
    float s = time * 0.5f;
    int i = 0;
    while (s > kPi) {
        s -= kPi;
        ++i;
    }
    const int pages = PageCount();
    if (i < pages) {
        d->SetStreamSource(0, vertexBuffer_.Get(), sizeof(ScreenVertex));
        d->SetVertexShader(SCREEN_FVF);
        const float c = std::clamp(1.4f * std::sin(s), 0.0f, 1.0f);
        const float mix = (c + 1.0f) / 2.0f;
        const bool firstHalf = s < kPi / 2;
        if ((i == 0 && firstHalf) || (i == pages - 1 && !firstHalf)) {
            DrawPicture(d, i, c * 255.0f);
        } else if (firstHalf) {
            DrawPicture(d, i - 1, (1.0f - mix) * 255.0f);
            DrawPicture(d, i, mix * 255.0f);
        } else {
            DrawPicture(d, i, mix * 255.0f);
            DrawPicture(d, i + 1, (1.0f - mix) * 255.0f);
        }
        DrawCard(d, i, s);
        burst_.Draw(s, false);
    }
    if (setStates) {
        d->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
        d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    }
}
