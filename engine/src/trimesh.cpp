#include "engine/trimesh.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "engine/material.h"

namespace {

const char* const kModule = "trimesh";

constexpr uint32_t kPositionMask = 0x00E;
constexpr uint32_t kTexcountMask = 0xF00;
constexpr int kTexcountShift = 8;
constexpr int kMaxTexcoords = 8;  // a MeshVertex holds eight sets

// Blend weights stored after the position (XYZB1 .. XYZB5).
int WeightCount(uint32_t position) {
    return position >= D3DFVF_XYZB1 ? static_cast<int>((position - D3DFVF_XYZRHW) / 2) : 0;
}

void Put(uint8_t*& p, const void* value, size_t bytes) {
    std::memcpy(p, value, bytes);
    p += bytes;
}

void Get(const uint8_t*& p, void* value, size_t bytes) {
    std::memcpy(value, p, bytes);
    p += bytes;
}

uint32_t KeyOf(float depth) {
    uint32_t key;
    std::memcpy(&key, &depth, sizeof key);
    return key;
}

}  // namespace

TriMesh::TriMesh(Device3D* device) : device_(device) { hookFlags |= HookDraw; }

TriMesh::~TriMesh() {
    ReleaseVertexBuffer();
    for (Submesh& submesh : submeshes_) {
        ReleaseIndexBuffer(submesh);
    }
}

uint32_t TriMesh::AcceptedFVF(uint32_t requested) {
    uint32_t fvf =
        requested & (kPositionMask | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    // Direct3D knows at most eight coordinate sets, and so does MeshVertex.
    const uint32_t sets = std::min<uint32_t>((requested & kTexcountMask) >> kTexcountShift, kMaxTexcoords);
    return fvf | sets << kTexcountShift;
}

int TriMesh::PositionBytesOf(uint32_t fvf) {
    switch (fvf & kPositionMask) {
    case D3DFVF_XYZ: return 12;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZB1: return 16;
    case D3DFVF_XYZB2: return 20;
    case D3DFVF_XYZB3: return 24;
    case D3DFVF_XYZB4: return 28;
    case D3DFVF_XYZB5: return 32;
    default: return 0;
    }
}

int TriMesh::StrideOf(uint32_t fvf) {
    int stride = PositionBytesOf(fvf);
    if ((fvf & D3DFVF_NORMAL) != 0) stride += 12;
    if ((fvf & D3DFVF_DIFFUSE) != 0) stride += 4;
    if ((fvf & D3DFVF_SPECULAR) != 0) stride += 4;
    return stride + 8 * static_cast<int>((fvf & kTexcountMask) >> kTexcountShift);
}

int TriMesh::PrimitiveCount(D3DPRIMITIVETYPE type, int n) {
    switch (type) {
    case D3DPT_POINTLIST: return n;
    case D3DPT_LINELIST: return n / 2;
    case D3DPT_LINESTRIP: return n - 1;
    case D3DPT_TRIANGLELIST: return n / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return n - 2;
    default: return -1;
    }
}

void TriMesh::ReleaseVertexBuffer() {
    if (vertexBuffer_ != nullptr) {
        if (lockedVertices_ != nullptr) {
            vertexBuffer_->Unlock();
            lockedVertices_ = nullptr;
            readOnlyVertices_ = false;
        }
        vertexBuffer_->Release();
        vertexBuffer_ = nullptr;
    }
    worldVertices_.clear();
    worldVertices_.shrink_to_fit();
    depths_.clear();
    depths_.shrink_to_fit();
}

void TriMesh::CreateVertexBuffer(int count, uint32_t requestedFVF) {
    ReleaseVertexBuffer();
    vertexCount_ = std::max(count, 0);
    fvf_ = AcceptedFVF(requestedFVF);
    stride_ = StrideOf(fvf_);
    texCoordCount_ = static_cast<int>((fvf_ & kTexcountMask) >> kTexcountShift);
    IDirect3DDevice8* device = device_ != nullptr ? device_->GetDevice() : nullptr;
    IDirect3DVertexBuffer8* buffer = nullptr;
    const uint64_t bytes = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(vertexCount_);
    if (device == nullptr || bytes > UINT32_MAX ||
        FAILED(device->CreateVertexBuffer(static_cast<UINT>(bytes), 0, fvf_, D3DPOOL_MANAGED, &buffer)) ||
        buffer == nullptr) {
        throw cvcore::Exception("TriMesh::CreateVertexBuffer()", "Failed!", kModule);
    }
    vertexBuffer_ = buffer;
}

void TriMesh::LockVertices(uint32_t flags) {
    if ((flags & LOCK_RESET_BOX) != 0) {
        bounds.boxMinimum = Vector3(FLT_MAX, FLT_MAX, FLT_MAX);
        bounds.boxMaximum = Vector3(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    }
    trackBounds_ = (flags & LOCK_TRACK_BOUNDS) != 0;
    if (vertexBuffer_ == nullptr || lockedVertices_ != nullptr) {
        return;
    }
    const bool readOnly = (flags & LOCK_READ_ONLY) != 0;
    BYTE* data = nullptr;
    if (SUCCEEDED(vertexBuffer_->Lock(0, 0, &data, readOnly ? D3DLOCK_READONLY : D3DLOCK_DISCARD))) {
        lockedVertices_ = data;
        readOnlyVertices_ = readOnly;
    }
}

void TriMesh::SetVertex(int index, const MeshVertex& v) {
    if (lockedVertices_ == nullptr || readOnlyVertices_ || index < 0 || index >= vertexCount_) {
        return;
    }
    uint8_t* p = lockedVertices_ + static_cast<size_t>(index) * static_cast<size_t>(stride_);
    const uint32_t position = fvf_ & kPositionMask;
    if (position != 0) {
        Put(p, &v.position, sizeof v.position);
        if (trackBounds_) {
            Vector3& lo = bounds.boxMinimum;
            Vector3& hi = bounds.boxMaximum;
            lo.x = std::min(lo.x, v.position.x);
            lo.y = std::min(lo.y, v.position.y);
            lo.z = std::min(lo.z, v.position.z);
            hi.x = std::max(hi.x, v.position.x);
            hi.y = std::max(hi.y, v.position.y);
            hi.z = std::max(hi.z, v.position.z);
        }
    }
    if (position == D3DFVF_XYZRHW) {
        Put(p, &v.rhw, 4);
    }
    const int weights = WeightCount(position);
    if (weights > 0) {
        Put(p, v.weights, 4 * static_cast<size_t>(weights));
        if ((fvf_ & D3DFVF_LASTBETA_UBYTE4) != 0) {
            // The last weight word carries the packed matrix indices.
            std::memcpy(p - 4, &v.weights[4], 4);
        }
    }
    if ((fvf_ & D3DFVF_NORMAL) != 0) Put(p, &v.normal, sizeof v.normal);
    if ((fvf_ & D3DFVF_DIFFUSE) != 0) Put(p, &v.diffuse, 4);
    if ((fvf_ & D3DFVF_SPECULAR) != 0) Put(p, &v.specular, 4);
    Put(p, v.texCoords, 8 * static_cast<size_t>(texCoordCount_));
}

MeshVertex TriMesh::GetVertex(int index) const {
    MeshVertex v;
    if (lockedVertices_ == nullptr || index < 0 || index >= vertexCount_) {
        return v;
    }
    const uint8_t* p = lockedVertices_ + static_cast<size_t>(index) * static_cast<size_t>(stride_);
    const uint32_t position = fvf_ & kPositionMask;
    if (position != 0) Get(p, &v.position, sizeof v.position);
    if (position == D3DFVF_XYZRHW) Get(p, &v.rhw, 4);
    const int weights = WeightCount(position);
    if (weights > 0) {
        Get(p, v.weights, 4 * static_cast<size_t>(weights));
        if ((fvf_ & D3DFVF_LASTBETA_UBYTE4) != 0) {
            const int real = weights - 1;  // weights stored before the indices word
            float sum = 0.0f;
            for (int i = 0; i < real; ++i) sum += v.weights[i];
            std::memcpy(&v.weights[4], p - 4, 4);
            // The implicit last blend weight; with five stored words its slot
            // is the indices' own, which keeps the indices.
            if (real < 4) v.weights[real] = 1.0f - sum;
        }
    }
    if ((fvf_ & D3DFVF_NORMAL) != 0) Get(p, &v.normal, sizeof v.normal);
    if ((fvf_ & D3DFVF_DIFFUSE) != 0) Get(p, &v.diffuse, 4);
    if ((fvf_ & D3DFVF_SPECULAR) != 0) Get(p, &v.specular, 4);
    Get(p, v.texCoords, 8 * static_cast<size_t>(texCoordCount_));
    return v;
}

void TriMesh::UnlockVertices(uint32_t flags) {
    if (lockedVertices_ == nullptr) {
        return;
    }
    if ((flags & UNLOCK_SPHERE) != 0 && (fvf_ & kPositionMask) != 0) {
        ComputeBoundingSphere(lockedVertices_, stride_, vertexCount_);
    }
    vertexBuffer_->Unlock();
    lockedVertices_ = nullptr;
    readOnlyVertices_ = false;
}

void TriMesh::ReleaseIndexBuffer(Submesh& submesh) {
    if (submesh.indexBuffer == nullptr) {
        return;
    }
    if (submesh.lockedIndices != nullptr) {
        const int index = static_cast<int>(&submesh - submeshes_.data());
        UnlockIndices(index);
    }
    submesh.indexBuffer->Release();
    submesh.indexBuffer = nullptr;
}

void TriMesh::SetSubmeshCount(int count) {
    for (Submesh& submesh : submeshes_) {
        ReleaseIndexBuffer(submesh);
    }
    count = std::max(count, 0);
    if (static_cast<size_t>(count) != submeshes_.size()) {
        submeshes_.assign(static_cast<size_t>(count), Submesh{});
    }
}

void TriMesh::CreateIndexBuffer(int index, int indexCount, D3DPRIMITIVETYPE type, Material* material) {
    if (index < 0 || index >= GetSubmeshCount() || indexCount < 0) {
        throw cvcore::Exception("TriMesh::CreateIndexBuffer()", "Failed!", kModule);
    }
    Submesh& submesh = submeshes_[static_cast<size_t>(index)];
    ReleaseIndexBuffer(submesh);
    submesh.primitiveType = type;
    submesh.indexCount = indexCount;
    if (type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN) {
        submesh.primitiveCount = PrimitiveCount(type, indexCount);
    }
    submesh.minIndex = 0;
    submesh.maxIndex = 0;
    submesh.material = material;
    IDirect3DDevice8* device = device_ != nullptr ? device_->GetDevice() : nullptr;
    IDirect3DIndexBuffer8* buffer = nullptr;
    if (device == nullptr ||
        FAILED(device->CreateIndexBuffer(static_cast<UINT>(indexCount) * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                         &buffer)) ||
        buffer == nullptr) {
        throw cvcore::Exception("TriMesh::CreateIndexBuffer()", "Failed!", kModule);
    }
    submesh.indexBuffer = buffer;
}

uint16_t* TriMesh::LockIndices(int index) {
    if (index < 0 || index >= GetSubmeshCount()) {
        return nullptr;
    }
    Submesh& submesh = submeshes_[static_cast<size_t>(index)];
    if (submesh.indexBuffer == nullptr || submesh.lockedIndices != nullptr) {
        // A read-only lock hands out nothing to write through.
        return submesh.lockedReadOnly ? nullptr : submesh.lockedIndices;
    }
    BYTE* data = nullptr;
    if (SUCCEEDED(submesh.indexBuffer->Lock(0, static_cast<UINT>(submesh.indexCount) * 2, &data, D3DLOCK_DISCARD))) {
        submesh.lockedIndices = reinterpret_cast<uint16_t*>(data);
        submesh.lockedReadOnly = false;
    }
    return submesh.lockedIndices;
}

const uint16_t* TriMesh::LockIndicesReadOnly(int index) {
    if (index < 0 || index >= GetSubmeshCount()) {
        return nullptr;
    }
    Submesh& submesh = submeshes_[static_cast<size_t>(index)];
    if (submesh.indexBuffer == nullptr || submesh.lockedIndices != nullptr) {
        return submesh.lockedIndices;
    }
    BYTE* data = nullptr;
    if (SUCCEEDED(submesh.indexBuffer->Lock(0, static_cast<UINT>(submesh.indexCount) * 2, &data, D3DLOCK_READONLY))) {
        submesh.lockedIndices = reinterpret_cast<uint16_t*>(data);
        submesh.lockedReadOnly = true;
    }
    return submesh.lockedIndices;
}

void TriMesh::UnlockIndices(int index) {
    if (index < 0 || index >= GetSubmeshCount()) {
        return;
    }
    Submesh& submesh = submeshes_[static_cast<size_t>(index)];
    if (submesh.lockedIndices == nullptr) {
        return;
    }
    // Indices locked for reading cannot have changed: the range stands.
    if (!submesh.lockedReadOnly) {
        int lo = submesh.indexCount > 0 ? 0xFFFF : 0;
        int hi = 0;
        for (int i = 0; i < submesh.indexCount; ++i) {
            lo = std::min<int>(lo, submesh.lockedIndices[i]);
            hi = std::max<int>(hi, submesh.lockedIndices[i]);
        }
        submesh.minIndex = lo;
        submesh.maxIndex = hi;
    }
    submesh.indexBuffer->Unlock();
    submesh.lockedIndices = nullptr;
    submesh.lockedReadOnly = false;
}

bool TriMesh::IndicesValid(int index) const {
    if (index < 0 || index >= GetSubmeshCount()) {
        return false;
    }
    const Submesh& submesh = submeshes_[static_cast<size_t>(index)];
    return submesh.minIndex <= submesh.maxIndex && submesh.maxIndex < vertexCount_;
}

void TriMesh::Draw(Device3D& device) {
    IDirect3DDevice8* d = device.GetDevice();
    if (vertexBuffer_ == nullptr || d == nullptr) {
        return;
    }
    d->SetStreamSource(0, vertexBuffer_, static_cast<UINT>(stride_));
    d->SetVertexShader(fvf_);
    for (int i = 0; i < GetSubmeshCount(); ++i) {
        Submesh& submesh = submeshes_[static_cast<size_t>(i)];
        // Indices past the vertex buffer would make the device read outside
        // it: such a submesh is left out.
        if (submesh.indexBuffer == nullptr || submesh.indexCount == 0 || !IndicesValid(i) ||
            submesh.primitiveCount <= 0) {
            continue;
        }
        if (submesh.material != nullptr && submesh.material->opacity < 1.0f) {
            QueueTranslucent(device, i);
            continue;
        }
        if (submesh.material != nullptr) {
            submesh.material->Apply();
        }
        d->SetIndices(submesh.indexBuffer, 0);
        d->DrawIndexedPrimitive(submesh.primitiveType, static_cast<UINT>(submesh.minIndex),
                                static_cast<UINT>(submesh.maxIndex - submesh.minIndex + 1), 0,
                                static_cast<UINT>(submesh.primitiveCount));
    }
}

void TriMesh::TransformRange(IDirect3DDevice8* d, const Submesh& submesh) {
    D3DMATRIX view{};
    D3DMATRIX world{};
    d->GetTransform(D3DTS_VIEW, &view);
    d->GetTransform(D3DTS_WORLD, &world);
    const size_t bytes = static_cast<size_t>(vertexCount_) * static_cast<size_t>(stride_);
    if (worldVertices_.size() != bytes) {
        worldVertices_.assign(bytes, 0);
    }
    if (depths_.size() != static_cast<size_t>(vertexCount_)) {
        depths_.assign(static_cast<size_t>(vertexCount_), 0.0f);
    }
    const size_t first = static_cast<size_t>(submesh.minIndex) * static_cast<size_t>(stride_);
    const size_t count = static_cast<size_t>(submesh.maxIndex - submesh.minIndex + 1) * static_cast<size_t>(stride_);
    std::memcpy(worldVertices_.data() + first, lockedVertices_ + first, count);

    const float* w = &world._11;
    const float* v = &view._11;
    const uint32_t position = fvf_ & kPositionMask;
    const int positionBytes = PositionBytesOf(position);
    auto alpha = static_cast<int>(submesh.material->opacity * 255.0f);
    alpha = std::clamp(alpha, 0, 255);
    const uint32_t alphaBits = static_cast<uint32_t>(alpha) << 24;
    for (int i = submesh.minIndex; i <= submesh.maxIndex; ++i) {
        uint8_t* p = worldVertices_.data() + static_cast<size_t>(i) * static_cast<size_t>(stride_);
        float depth = 0.0f;
        if (position != 0) {
            float in[3];
            std::memcpy(in, p, sizeof in);
            const float out[3] = {in[0] * w[0] + in[1] * w[4] + in[2] * w[8] + w[12],
                                  in[0] * w[1] + in[1] * w[5] + in[2] * w[9] + w[13],
                                  in[0] * w[2] + in[1] * w[6] + in[2] * w[10] + w[14]};
            std::memcpy(p, out, sizeof out);
            depth = out[0] * v[2] + out[1] * v[6] + out[2] * v[10] + v[14];
        }
        depths_[static_cast<size_t>(i)] = depth;
        p += positionBytes;
        if ((fvf_ & D3DFVF_NORMAL) != 0) {
            float n[3];
            std::memcpy(n, p, sizeof n);
            const float out[3] = {n[0] * w[0] + n[1] * w[4] + n[2] * w[8], n[0] * w[1] + n[1] * w[5] + n[2] * w[9],
                                  n[0] * w[2] + n[1] * w[6] + n[2] * w[10]};
            std::memcpy(p, out, sizeof out);
            p += sizeof n;
        }
        if ((fvf_ & D3DFVF_DIFFUSE) != 0) {
            uint32_t diffuse;
            std::memcpy(&diffuse, p, 4);
            diffuse |= alphaBits;
            std::memcpy(p, &diffuse, 4);
        }
    }
}

void TriMesh::QueueTranslucent(Device3D& device, int index) {
    Submesh& submesh = submeshes_[static_cast<size_t>(index)];
    IDirect3DDevice8* d = device.GetDevice();
    // Only reading: read-only locks keep the contents (a discarding lock
    // leaves them undefined) and spare the device a fresh copy every frame.
    // A lock someone else holds stays theirs.
    const bool ownVertexLock = lockedVertices_ == nullptr;
    const bool ownIndexLock = submesh.lockedIndices == nullptr;
    LockVertices(LOCK_READ_ONLY);
    const uint16_t* indices = LockIndicesReadOnly(index);
    if (lockedVertices_ != nullptr && indices != nullptr) {
        TransformRange(d, submesh);
        QueueTriangles(device, submesh, indices);
    }
    if (ownIndexLock) {
        UnlockIndices(index);
    }
    if (ownVertexLock) {
        UnlockVertices(0);
    }
}

void TriMesh::QueueTriangles(Device3D& device, const Submesh& submesh, const uint16_t* indices) {
    const uint8_t* base = worldVertices_.data();
    const size_t stride = static_cast<size_t>(stride_);
    auto vertex = [&](uint16_t i) { return base + i * stride; };
    auto queue = [&](uint32_t key, uint16_t a, uint16_t b, uint16_t c) {
        if (a >= vertexCount_ || b >= vertexCount_ || c >= vertexCount_) {
            return;
        }
        device.AddTransparentTriangle(key, vertex(a), vertex(b), vertex(c), fvf_, static_cast<uint32_t>(stride_),
                                      submesh.material);
    };
    const int n = submesh.indexCount;
    if (submesh.primitiveType == D3DPT_TRIANGLELIST) {
        // A trailing one or two indices make no triangle and are left out.
        for (int i = 0; i + 2 < n; i += 3) {
            const uint16_t first = indices[i];
            queue(first < vertexCount_ ? KeyOf(depths_[first]) : 0, first, indices[i + 1], indices[i + 2]);
        }
    } else if (submesh.primitiveType == D3DPT_TRIANGLESTRIP && n >= 3) {
        // Three rotating slots; odd triangles swap the last two to keep the
        // strip's alternating winding.
        uint16_t slot[3] = {indices[0], indices[1], 0};
        static const int rotation[3] = {2, 0, 1};
        uint32_t key = 0;
        for (int k = 2; k < n; ++k) {
            const int s = rotation[(k - 2) % 3];
            slot[s] = indices[k];
            if (s == 2 && indices[k] < vertexCount_) {
                key = KeyOf(depths_[indices[k]]);
            }
            if (k % 2 == 0) {
                queue(key, slot[0], slot[1], slot[2]);
            } else {
                queue(key, slot[0], slot[2], slot[1]);
            }
        }
    }
}
