#include "lightfloor.h"

#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "glowstates.h"
#include "screen2d.h"
#include "trianglewalk.h"

const uint32_t LightFloor::ColourTable[4][3] = {
    {0xFF004D75, 0xFF6DB1BF, 0xFFC87CAC},
    {0xFFC87CAC, 0xFFBB4275, 0xFFC87CAC},
    {0xFFC87CAC, 0xFF004D75, 0xFFC87CAC},
    {0xFF6DB1BF, 0xFFBB4275, 0xFFC87CAC},
};

LightFloor::LightFloor(Device3D& device, const char* fileName) : device_(&device) {
    scene_.Load(device, fileName);
    FindFloor();
    CopyFloor();
    lights_[0].colour = 0xFFAF6FEF;
    lights_[1].colour = 0xFFAFEF7F;
    lights_[2].colour = 0xFFAFEF7F;
    for (Light& light : lights_) light.factors.assign(vertices_.size(), 1.0f);
}

void LightFloor::FindFloor() {
    floor_ = dynamic_cast<TriMesh*>(FindDrawnNode(scene_, 1));
    if (!floor_) throw cvcore::Exception("Node not found!", "Error!", "lightfloor");
}

// The floor gets a diffuse colour per vertex; its positions stay in object
// space in the mesh, and a private world-space copy drives the lighting.
void LightFloor::CopyFloor() {
    const int count = floor_->GetVertexCount();
    floor_->LockVertices(TriMesh::LOCK_READ_ONLY);
    vertices_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        vertices_[i] = floor_->GetVertex(i);
        vertices_[i].diffuse = 0;
    }
    floor_->UnlockVertices(0);

    floor_->CreateVertexBuffer(count, floor_->GetFVF() | D3DFVF_DIFFUSE);
    floor_->LockVertices(0);
    for (int i = 0; i < count; ++i) floor_->SetVertex(i, vertices_[i]);
    floor_->UnlockVertices(0);

    const Matrix4& world = floor_->GetWorld();
    world_.resize(vertices_.size());
    for (size_t i = 0; i < vertices_.size(); ++i) world_[i] = world.TransformPoint(vertices_[i].position);
}

int LightFloor::CameraIndex(float time) const {
    int k = 0;
    while (time > 5.0f) {
        time -= 5.0f;
        ++k;
    }
    const int cameras = scene_.GetCameraCount();
    return cameras > 0 ? k % cameras : 0;
}

// The 7th and 8th nodes that are not drawn, met walking the root's children
// and, inside each, its children, carry lights 0 and 1.
void LightFloor::FindLights() {
    int met = 0;
    auto visit = [&](SceneNode& node) {
        if (node.hookFlags & SceneNode::HookDraw) return;
        ++met;
        if (met == 7) lights_[0].position = node.GetWorld().GetTranslation();
        if (met == 8) lights_[1].position = node.GetWorld().GetTranslation();
    };
    for (const ChildCell* c = scene_.GetFirstChild(); c; c = c->next) {
        visit(*c->node);
        for (const ChildCell* g = c->node->GetFirstChild(); g; g = g->next) visit(*g->node);
    }
}

uint32_t LightFloor::Scale(uint32_t colour, int c) {
    const uint32_t cc = static_cast<uint32_t>(c);
    const uint32_t redBlue = ((cc * (colour & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    const uint32_t alphaGreen = (cc * ((colour >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return redBlue | alphaGreen;
}

// One 32-bit addition of the two halved-precision colours; each of the three
// colour bytes whose addition carried out becomes 255. The carry still moves
// into the byte above, as the single addition does.
uint32_t LightFloor::AddSaturated(uint32_t a, uint32_t b) {
    a &= 0xFEFEFEFEu;
    b &= 0xFEFEFEFEu;
    const uint32_t sum = a + b;
    uint32_t result = sum;
    uint32_t carry = 0;
    for (int k = 0; k < 3; ++k) {
        const uint32_t byteSum = ((a >> (8 * k)) & 0xFF) + ((b >> (8 * k)) & 0xFF) + carry;
        carry = byteSum >> 8;
        if (carry) result |= 0xFFu << (8 * k);
    }
    return result;
}

void LightFloor::LightVertices() {
    floor_->LockVertices(0);
    for (size_t i = 0; i < vertices_.size(); ++i) {
        MeshVertex& v = vertices_[i];
        const int row = static_cast<int>(v.texCoords[0].u * 255.0f) & 255;
        const int column = static_cast<int>(v.texCoords[0].v * 255.0f) & 255;
        const int p = plasma_.At(row, column);
        v.diffuse = 0;
        for (int l = 0; l < 2; ++l) {
            const Vector3 delta = world_[i] - lights_[l].position;
            const float a = delta.Dot(delta) * 0.0004f;
            if (a >= 1.0f) {
                lights_[l].factors[i] = 1.0f;
                continue;
            }
            lights_[l].factors[i] = a;
            const int c = static_cast<int>((1.0f - a) * static_cast<float>(p));
            v.diffuse = AddSaturated(v.diffuse, Scale(lights_[l].colour, c));
        }
        floor_->SetVertex(static_cast<int>(i), v);
    }
    floor_->UnlockVertices(0);
}

void LightFloor::SetFinStates(IDirect3DDevice8* d) {
    SetGlowStates(d);
    const D3DMATRIX identity = IdentityMatrix();
    d->SetTransform(D3DTS_WORLD, &identity);
}

// Dark at the edge, brightest a third of the way out, dark again at the end;
// pointing away from the light and longer the nearer the edge is.
void LightFloor::DrawFin(IDirect3DDevice8* d, const Light& light, int p, int q) {
    const Vector3 P = world_[p], Q = world_[q];
    const Vector3 dP = (P - light.position) * (1.0f - light.factors[p]);
    const Vector3 dQ = (Q - light.position) * (1.0f - light.factors[q]);
    const MeshVertex& vp = vertices_[p];
    const MeshVertex& vq = vertices_[q];
    auto vertex = [](const Vector3& at, D3DCOLOR colour, const MeshVertex& end) {
        return ScreenVertex{at.x, at.y, at.z, colour, end.texCoords[0].u, end.texCoords[0].v};
    };
    const Vector3 qThird = Q + dQ * 0.33f, pThird = P + dP * 0.33f;
    const ScreenVertex inner[4] = {vertex(P, 0, vp), vertex(Q, 0, vq), vertex(qThird, vq.diffuse, vq),
                                   vertex(pThird, vp.diffuse, vp)};
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, inner, sizeof(ScreenVertex));
    const ScreenVertex outer[4] = {vertex(P + dP, 0, vp), vertex(Q + dQ, 0, vq), vertex(qThird, vq.diffuse, vq),
                                   vertex(pThird, vp.diffuse, vp)};
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, outer, sizeof(ScreenVertex));
}

void LightFloor::DrawFins(IDirect3DDevice8* d) {
    const int count = static_cast<int>(vertices_.size());
    ForEachTriangle(*floor_, [&](int k1, int k2, int k3) {
        if (k1 >= count || k2 >= count || k3 >= count) return;
        d->SetVertexShader(SCREEN_FVF);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        const int edges[3][2] = {{k1, k2}, {k1, k3}, {k3, k2}};
        for (int l = 0; l < 2; ++l) {
            const Light& light = lights_[l];
            for (const auto& e : edges) {
                if (light.factors[e[0]] == 1.0f && light.factors[e[1]] == 1.0f) continue;
                DrawFin(d, light, e[0], e[1]);
            }
        }
    });
}

void LightFloor::Draw(float time) {
    const int k = CameraIndex(time);
    for (int i = 0; i < 3; ++i) lights_[i].colour = ColourTable[k & 3][i];
    scene_.Update(time);
    FindLights();
    if (scene_.GetCameraCount() > 0) scene_.Render(*device_, *scene_.GetCamera(k));
    plasma_.Compute(time * 0.5f, 6, 6);
    LightVertices();
    IDirect3DDevice8* d = device_->GetDevice();
    SetFinStates(d);
    DrawFins(d);
}
