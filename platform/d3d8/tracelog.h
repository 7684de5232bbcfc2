#pragma once
// The call log: the front end records every call into it, whichever back
// end draws, and the text forms of the values it records (documented in
// d3d8ext.h).
#include <d3d8.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace d3d8 {

class TraceLog {
public:
    explicit TraceLog(bool record) : record_(record) {}

    // "texture#3": numbered per kind in creation order.
    std::string NewName(const std::string& kind);
    void Call(const std::string& object, const char* method, const std::vector<std::string>& args,
              const std::string& result = std::string());
    std::string Text() const;
    std::vector<std::string> Lines() const { return lines_; }
    void Clear() { lines_.clear(); }
    bool Recording() const { return record_; }

private:
    bool record_;
    std::map<std::string, int> counters_;
    std::vector<std::string> lines_;
};

namespace trace {

std::string Dec(long long value);
std::string Hex(DWORD value);
std::string Float(float value);
std::string Bool(BOOL value);
std::string Result(HRESULT hr);
std::string RenderState(D3DRENDERSTATETYPE state);
std::string RenderStateValue(D3DRENDERSTATETYPE state, DWORD value);
std::string StageState(D3DTEXTURESTAGESTATETYPE type);
std::string StageStateValue(D3DTEXTURESTAGESTATETYPE type, DWORD value);
std::string Transform(D3DTRANSFORMSTATETYPE state);
std::string Primitive(D3DPRIMITIVETYPE type);
std::string Format(D3DFORMAT format);
std::string Pool(D3DPOOL pool);
std::string DevType(D3DDEVTYPE type);
std::string ResourceType(D3DRESOURCETYPE type);
std::string Matrix(const D3DMATRIX* m);
std::string Material(const D3DMATERIAL8* m);
std::string Light(const D3DLIGHT8* l);
std::string Viewport(const D3DVIEWPORT8* v);
std::string Rect(const RECT* r);
std::string Rects(DWORD count, const D3DRECT* rects);
std::string Data(const void* data, size_t bytes);
std::string Window(HWND hwnd);
std::string PresentParams(const D3DPRESENT_PARAMETERS* p);
std::string Pointer(const void* p);  // "null" or "ptr"

}  // namespace trace
}  // namespace d3d8
