#pragma once
#include <utility>

// Owns one reference to a Direct3D interface and releases it on destruction.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For creation calls that return the interface through T**.
    T** Out() {
        Reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};
