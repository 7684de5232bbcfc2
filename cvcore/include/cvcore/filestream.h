#pragma once
#include <cstdint>
#include <memory>
#include "cvcore/stream.h"
#include "cvcore/string.h"

namespace cvcore {

// Opens a name through the process-wide base path: a path that contains a
// registered archive extension followed by '/' or '\\' opens an entry of that
// archive, anything else a plain file. Small reads are served from a one-page
// (4096-byte) cache of the source. Throws cvcore::Exception
// ("cannot access file: " + full path) when the source cannot be opened.
class FileStream : public Stream {
public:
    static constexpr int32_t PAGE_SIZE = 4096;

    FileStream(const char* name, int32_t mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Tell() override { return position_; }
    int32_t Size() override;
    bool IsOpen() override;
    bool IsEOF() override;

    // Number of the page held in the cache (position / 4096), -1 for none.
    int32_t CachedPage() const { return cachedPage_; }

private:
    void FillPage(int32_t page);

    std::unique_ptr<Stream> source_;
    uint8_t page_[PAGE_SIZE];
    int32_t pageFill_ = 0;  // bytes of page_ the source delivered
    int32_t position_ = 0;
    int32_t cachedPage_ = -1;
};

// Process-wide file-system settings.
void SetBasePath(const char* path);             // null is ignored
void SetArchivePassword(const char* password);  // null is ignored
const String& GetBasePath();
const String& GetArchivePassword();

// The text after the last '.' of path, or "" when there is none.
String GetExtension(const char* path);

}  // namespace cvcore
