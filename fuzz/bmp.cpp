#include "decodefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzDecode(&cvcore::DecodeBMP, data, size);
}
