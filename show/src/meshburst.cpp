#include "meshburst.h"

#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "engine/scene.h"
#include "engine/trimesh.h"
#include "showrandom.h"
#include "trianglewalk.h"

namespace {

struct RayVertex {
    float x, y, z;
    D3DCOLOR colour;
};
constexpr DWORD kRayFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;  // 66
constexpr D3DCOLOR kRayCentre = 0x257F6F5F;

TriMesh* ChooseMesh(Scene& scene) {
    auto* mesh = dynamic_cast<TriMesh*>(FindDrawnNode(scene, 2));
    if (!mesh) throw cvcore::Exception("Node not found!", "Error!", "layerburst");
    return mesh;
}

}  // namespace

MeshBurst::MeshBurst(Device3D& device, Scene& scene) : device_(&device), scene_(&scene), mesh_(ChooseMesh(scene)) {
    mesh_->Hide();
    factors_.resize(static_cast<size_t>(mesh_->GetVertexCount()));
    for (float& f : factors_) f = static_cast<float>(ShowRandom()) / 32767.0f * 2.5f;
}

void MeshBurst::SetStates(IDirect3DDevice8* d, float alpha) {
    const D3DMATRIX& world = *reinterpret_cast<const D3DMATRIX*>(mesh_->GetWorld().m);
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetTexture(0, nullptr);
    const uint32_t b = static_cast<uint32_t>(static_cast<int>(alpha)) & 0xFFu;
    d->SetRenderState(D3DRS_TEXTUREFACTOR, b * 0x01010101u);
    d->SetVertexShader(kRayFvf);
}

void MeshBurst::Draw(float alpha) {
    IDirect3DDevice8* d = device_->GetDevice();
    SetStates(d, alpha);
    const Vector3 c = (mesh_->bounds.boxMinimum + mesh_->bounds.boxMaximum) * 0.5f;
    const int count = mesh_->GetVertexCount();
    mesh_->LockVertices(TriMesh::LOCK_READ_ONLY);
    positions_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) positions_[i] = mesh_->GetVertex(i).position;
    const std::vector<Vector3>& positions = positions_;
    auto ray = [&](int p, int q) {
        const Vector3 P = c + (positions[p] - c) * factors_[p];
        const Vector3 Q = c + (positions[q] - c) * factors_[q];
        const RayVertex fan[4] = {
            {c.x, c.y, c.z, kRayCentre}, {c.x, c.y, c.z, kRayCentre}, {Q.x, Q.y, Q.z, 0}, {P.x, P.y, P.z, 0}};
        d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof(RayVertex));
    };
    ForEachTriangle(*mesh_, [&](int a, int b, int e) {
        if (a >= count || b >= count || e >= count) return;
        ray(a, b);
        ray(b, e);
        ray(e, a);
    });
    mesh_->UnlockVertices(0);
}
