#include "engine/vatrimesh.h"
#include <algorithm>
#include <cstring>
#include <utility>
#include "cvcore/exception.h"
#include "engine/device3d.h"

VATriMesh::VATriMesh(Device3D* device) : TriMesh(device) {}

VATriMesh::~VATriMesh() = default;  // the records unlock and release themselves

void VATriMesh::SetFrameCount(int32_t count) {
    count = std::max(count, 0);
    output_.Release();
    for (MorphFrame& frame : frames_) {
        frame.vertices.Release();
    }
    IDirect3DDevice8* d3d = device_ != nullptr ? device_->GetDevice() : nullptr;
    auto shape = [this](VertexBufferRecord& record) {
        record.vertexCount = vertexCount_;
        record.fvf = fvf_;
        record.stride = stride_;
        record.texCoordCount = texCoordCount_;
    };
    auto fail = [] { throw cvcore::Exception("TriMesh::CreateVertexBuffer()", "Failed!", "vatrimesh"); };

    shape(output_);
    if (!output_.Create(d3d)) {
        fail();
    }
    // The output starts as the mesh's own vertices.
    if (vertexBuffer_ != nullptr) {
        uint8_t* out = output_.Lock(D3DLOCK_DISCARD);
        LockVertices(LOCK_READ_ONLY);
        if (out != nullptr && lockedVertices_ != nullptr) {
            std::memcpy(out, lockedVertices_, static_cast<size_t>(stride_) * static_cast<size_t>(vertexCount_));
        }
        UnlockVertices(0);
        output_.Unlock();
    }

    if (static_cast<size_t>(count) != frames_.size()) {
        frames_.clear();
        frames_.resize(static_cast<size_t>(count));
    }
    for (MorphFrame& frame : frames_) {
        shape(frame.vertices);
        if (!frame.vertices.Create(d3d)) {
            fail();
        }
    }
}

void VATriMesh::SetFrameTime(int32_t frame, int32_t ticks) {
    if (frame >= 0 && frame < GetFrameCount()) {
        frames_[static_cast<size_t>(frame)].time = ticks;
    }
}

int32_t VATriMesh::GetFrameTime(int32_t frame) const {
    return frame >= 0 && frame < GetFrameCount() ? frames_[static_cast<size_t>(frame)].time : 0;
}

void VATriMesh::LockFrame(int32_t frame, uint32_t flags) {
    if (frame >= 0 && frame < GetFrameCount()) {
        frames_[static_cast<size_t>(frame)].vertices.Lock((flags & LOCK_READ_ONLY) ? D3DLOCK_READONLY
                                                                                   : D3DLOCK_DISCARD);
    }
}

void VATriMesh::UnlockFrame(int32_t frame) {
    if (frame >= 0 && frame < GetFrameCount()) {
        frames_[static_cast<size_t>(frame)].vertices.Unlock();
    }
}

void VATriMesh::SetFrameVertex(int32_t frame, int32_t index, const MeshVertex& vertex) {
    if (frame < 0 || frame >= GetFrameCount() || frames_[static_cast<size_t>(frame)].vertices.locked == nullptr) {
        return;
    }
    // The mesh's own encoder writes wherever lockedVertices_ points; aim it
    // at the frame for the one call, so both use the same encoding.
    uint8_t* own = std::exchange(lockedVertices_, frames_[static_cast<size_t>(frame)].vertices.locked);
    SetVertex(index, vertex);
    lockedVertices_ = own;
}

void VATriMesh::GetFrameVertex(int32_t frame, int32_t index, MeshVertex& vertex) const {
    vertex = GetFrameVertex(frame, index);
}

MeshVertex VATriMesh::GetFrameVertex(int32_t frame, int32_t index) const {
    if (frame < 0 || frame >= GetFrameCount() || frames_[static_cast<size_t>(frame)].vertices.locked == nullptr) {
        return MeshVertex{};
    }
    auto* self = const_cast<VATriMesh*>(this);
    uint8_t* own = std::exchange(self->lockedVertices_, frames_[static_cast<size_t>(frame)].vertices.locked);
    MeshVertex vertex = GetVertex(index);
    self->lockedVertices_ = own;
    return vertex;
}

namespace {

inline void Lerp3(float* out, const float* a, const float* b, float f) {
    out[0] = a[0] + (b[0] - a[0]) * f;
    out[1] = a[1] + (b[1] - a[1]) * f;
    out[2] = a[2] + (b[2] - a[2]) * f;
}

}  // namespace

void VATriMesh::Blend(MorphFrame& a, MorphFrame& b, float f) {
    const size_t stride = static_cast<size_t>(output_.stride);
    const size_t count = static_cast<size_t>(output_.vertexCount);
    uint8_t* out = output_.locked;
    const uint8_t* pa = a.vertices.locked;
    const uint8_t* pb = b.vertices.locked;
    // Colours, coordinates and weights come from the earlier frame as they
    // are; only positions and normals move.
    std::memcpy(out, pa, stride * count);
    const bool position = (output_.fvf & 0x2) != 0 && stride >= 12;
    const bool normal = (output_.fvf & D3DFVF_NORMAL) != 0;
    const size_t normalOffset = static_cast<size_t>(PositionBytesOf(output_.fvf));
    for (size_t v = 0; v < count; ++v) {
        const size_t at = v * stride;
        if (position) {
            Lerp3(reinterpret_cast<float*>(out + at), reinterpret_cast<const float*>(pa + at),
                  reinterpret_cast<const float*>(pb + at), f);
        }
        if (normal) {
            Lerp3(reinterpret_cast<float*>(out + at + normalOffset),
                  reinterpret_cast<const float*>(pa + at + normalOffset),
                  reinterpret_cast<const float*>(pb + at + normalOffset), f);
        }
    }
}

void VATriMesh::SetTime(float ticks) {
    if (output_.buffer == nullptr || frames_.empty()) {
        return;
    }
    const size_t last = frames_.size() - 1;
    size_t later = 0;
    while (later <= last && !(static_cast<float>(frames_[later].time) > ticks)) {
        ++later;
    }
    const size_t row = later > last ? last : (later == 0 ? 0 : later - 1);

    if (output_.Lock(D3DLOCK_DISCARD) == nullptr) {
        return;
    }
    MorphFrame& a = frames_[row];
    // Frames are only read: their contents must survive the lock, and a
    // read-only lock does not send them to the device again.
    a.vertices.Lock(D3DLOCK_READONLY);
    if (a.vertices.locked != nullptr) {
        if (row != last) {
            MorphFrame& b = frames_[row + 1];
            b.vertices.Lock(D3DLOCK_READONLY);
            if (b.vertices.locked != nullptr) {
                const float span = static_cast<float>(b.time) - static_cast<float>(a.time);
                // Frames sharing a time would divide by zero: take the first.
                const float f = span != 0.0f ? (ticks - static_cast<float>(a.time)) / span : 0.0f;
                Blend(a, b, f);
            }
            b.vertices.Unlock();
        } else {
            std::memcpy(output_.locked, a.vertices.locked,
                        static_cast<size_t>(output_.stride) * static_cast<size_t>(output_.vertexCount));
        }
    }
    a.vertices.Unlock();
    output_.Unlock();
}

void VATriMesh::Draw(Device3D& device) {
    if (output_.buffer == nullptr) {
        return;
    }
    // The base class draws (and queues translucent triangles from) whatever
    // vertexBuffer_ holds: lend it the blended output for the call.
    struct Lend {
        IDirect3DVertexBuffer8*& slot;
        IDirect3DVertexBuffer8* own;
        ~Lend() { slot = own; }
    } lend{vertexBuffer_, std::exchange(vertexBuffer_, output_.buffer)};
    TriMesh::Draw(device);
}
