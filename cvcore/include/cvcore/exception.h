#pragma once
#include "cvcore/string.h"

namespace cvcore {

// The one exception type of the program. Every failing operation throws it by
// value with the method it happened in ("TriMesh::CreateVertexBuffer()"), a
// message and the bare name of its source module ("trimesh").
class Exception {
public:
    // A null method or file becomes "Unknown"; a null message becomes "".
    Exception(const char* method, const char* message, const char* file);
    Exception(const Exception& other) = default;
    Exception& operator=(const Exception& other) = default;
    virtual ~Exception();

    const String& File() const { return file_; }
    const String& Method() const { return method_; }
    const String& Message() const { return message_; }

private:
    String file_;
    String method_;
    String message_;
};

// Only inside a catch block: the exception being handled, as the framework's
// own type. Anything else that gets that far (the runtime's std::bad_alloc
// above all) keeps its message: "Out of memory", the standard exception's
// text, or "Unknown error"; method and file are then "Unknown".
Exception CurrentException();

}  // namespace cvcore
