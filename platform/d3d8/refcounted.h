#pragma once
// Reference counting shared by every interface object of the stand-in, and
// the call-log identity each object has while a trace session runs.
#include <unknwn.h>

#include <string>

#include "tracelog.h"

namespace d3d8 {

template <class Interface>
class RefCounted : public Interface {
public:
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        if (refs_ == 0) return 0;
        ULONG left = --refs_;
        if (left == 0) LastRelease();
        return left;
    }

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    // Called when the last public reference goes; deletes by default.
    virtual void LastRelease() {
        TraceCall("Release", {}, "0");
        delete this;
    }

    void TraceCall(const char* method, const std::vector<std::string>& args,
                   const std::string& result = std::string()) {
        if (trace_) trace_->Call(traceName_, method, args, result);
    }
    bool Tracing() const { return trace_ != nullptr; }

    ULONG refs_ = 1;
    TraceLog* trace_ = nullptr;
    std::string traceName_;
};

}  // namespace d3d8
