#include "cvcore/exception.h"

#include <exception>
#include <new>

namespace cvcore {

Exception::Exception(const char* method, const char* message, const char* file)
    : file_(file ? file : "Unknown"), method_(method ? method : "Unknown"), message_(message ? message : "") {}

Exception::~Exception() = default;

Exception CurrentException() {
    try {
        throw;
    } catch (const Exception& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Exception(nullptr, "Out of memory", nullptr);
    } catch (const std::exception& e) {
        return Exception(nullptr, e.what(), nullptr);
    } catch (...) {
        return Exception(nullptr, "Unknown error", nullptr);
    }
}

}  // namespace cvcore
