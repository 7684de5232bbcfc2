#include "engine/vertexbufferrecord.h"
#include <utility>

VertexBufferRecord::VertexBufferRecord(VertexBufferRecord&& other) noexcept { *this = std::move(other); }

VertexBufferRecord& VertexBufferRecord::operator=(VertexBufferRecord&& other) noexcept {
    if (this != &other) {
        Release();
        vertexCount = other.vertexCount;
        fvf = other.fvf;
        stride = other.stride;
        texCoordCount = other.texCoordCount;
        buffer = std::exchange(other.buffer, nullptr);
        locked = std::exchange(other.locked, nullptr);
    }
    return *this;
}

bool VertexBufferRecord::Create(IDirect3DDevice8* device) {
    Release();
    if (device == nullptr || vertexCount < 0 || stride < 0) {
        return false;
    }
    const UINT length = static_cast<UINT>(vertexCount) * static_cast<UINT>(stride);
    return device->CreateVertexBuffer(length, 0, fvf, D3DPOOL_MANAGED, &buffer) == D3D_OK && buffer != nullptr;
}

void VertexBufferRecord::Release() {
    if (buffer != nullptr) {
        Unlock();
        buffer->Release();
        buffer = nullptr;
    }
    locked = nullptr;
}

uint8_t* VertexBufferRecord::Lock(DWORD flags) {
    if (buffer == nullptr) {
        return nullptr;
    }
    if (locked == nullptr) {
        BYTE* data = nullptr;
        if (buffer->Lock(0, 0, &data, flags) == D3D_OK) {
            locked = data;
        }
    }
    return locked;
}

void VertexBufferRecord::Unlock() {
    if (buffer != nullptr && locked != nullptr) {
        buffer->Unlock();
    }
    locked = nullptr;
}
