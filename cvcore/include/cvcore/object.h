#pragma once
#include <cstdint>
#include "cvcore/string.h"

namespace cvcore {

// Common base of streams, images and registry descriptors.
class Object {
public:
    Object() = default;
    Object(const Object&) = default;
    Object& operator=(const Object&) = default;
    virtual ~Object() = default;

    int32_t kind = 1;  // set by construction and copied; nothing reads it
    String name;       // images take the file name they were loaded from
};

}  // namespace cvcore
