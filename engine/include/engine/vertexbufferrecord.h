#pragma once
#include <cstdint>
#include <d3d8.h>

// A Direct3D vertex buffer with the layout it was made for. Owns one
// reference to the buffer and unlocks it before releasing.
struct VertexBufferRecord {
    VertexBufferRecord() = default;
    VertexBufferRecord(const VertexBufferRecord&) = delete;
    VertexBufferRecord& operator=(const VertexBufferRecord&) = delete;
    VertexBufferRecord(VertexBufferRecord&& other) noexcept;
    VertexBufferRecord& operator=(VertexBufferRecord&& other) noexcept;
    ~VertexBufferRecord() { Release(); }

    // Managed-pool buffer of stride x vertexCount bytes; false on failure.
    bool Create(IDirect3DDevice8* device);
    void Release();
    uint8_t* Lock(DWORD flags);
    void Unlock();
    uint8_t* Vertex(int32_t index) const { return locked + static_cast<size_t>(index) * static_cast<size_t>(stride); }

    int32_t vertexCount = 0;
    uint32_t fvf = 0;
    int32_t stride = 0;
    int32_t texCoordCount = 0;
    IDirect3DVertexBuffer8* buffer = nullptr;
    uint8_t* locked = nullptr;
};
