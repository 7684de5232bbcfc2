#include "cvcore/filestream.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "cvcore/archivetype.h"
#include "cvcore/exception.h"

namespace cvcore {
namespace {

// Function-local so that code running during static start-up can set them.
String& BasePath() {
    static String path;
    return path;
}

String& ArchivePassword() {
    static String password;
    return password;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The first registered extension that occurs in the path decides. Only its
// first occurrence is looked at: if no separator follows it, that name is out
// ("zipped/data.zip/x" is a plain file), even when a later occurrence would
// split. The split copies are sized to the path, so any length is fine.
std::unique_ptr<Stream> OpenSource(const char* fullPath, int32_t mode) {
    const std::string_view path(fullPath);
    for (const ArchiveType& type : ArchiveTypes()) {
        for (int32_t i = 0; i < type.GetNameCount(); ++i) {
            const std::string_view extension(type.GetName(i));
            if (extension.empty()) continue;
            const size_t at = path.find(extension);
            if (at == std::string_view::npos) continue;
            const size_t separator = at + extension.size();
            if (separator >= path.size() || !IsSeparator(path[separator])) continue;
            const std::string container(path.substr(0, separator));
            return type.Open(container.c_str(), fullPath + separator + 1, mode, ArchivePassword().Text());
        }
    }
    return PlainFileType().Open("", fullPath, mode, nullptr);
}

}  // namespace

void SetBasePath(const char* path) { BasePath() = path; }
void SetArchivePassword(const char* password) { ArchivePassword() = password; }
const String& GetBasePath() { return BasePath(); }
const String& GetArchivePassword() { return ArchivePassword(); }

String GetExtension(const char* path) {
    if (!path) return String();
    const char* dot = std::strrchr(path, '.');
    return String(dot ? dot + 1 : "");
}

FileStream::FileStream(const char* name, int32_t mode) {
    String fullPath(BasePath());
    fullPath.Append(name ? name : "");
    source_ = OpenSource(fullPath.Text(), mode);
    if (!source_) {
        String message("cannot access file: ");
        message.Append(fullPath);
        throw Exception("FileStream::FileStream()", message.Text(), "filestream");
    }
}

FileStream::~FileStream() = default;

int32_t FileStream::Seek(int32_t offset, int32_t origin) {
    if (!source_) return position_;
    switch (origin) {
    case SEEK_FROM_START: position_ = offset; break;
    case SEEK_FROM_CURRENT: position_ = SaturatePosition(int64_t{position_} + offset); break;
    case SEEK_FROM_END: position_ = SaturatePosition(int64_t{source_->Size()} - offset); break;
    default: break;
    }
    return position_;
}

void FileStream::FillPage(int32_t page) {
    source_->Seek(page * PAGE_SIZE, SEEK_FROM_START);
    pageFill_ = std::max(source_->Read(page_, PAGE_SIZE), 0);
    cachedPage_ = page;
}

// Large reads go straight to the caller; small ones are served from the
// cached page, refilling it once per page touched. A read running past the
// end of the source delivers what exists and says how much that was.
int32_t FileStream::Read(void* buffer, int32_t count) {
    if (!source_ || count < 1 || position_ < 0) return 0;
    if (count > PAGE_SIZE) {
        source_->Seek(position_, SEEK_FROM_START);
        const int32_t delivered = std::max(source_->Read(buffer, count), 0);
        cachedPage_ = -1;
        position_ += delivered;
        return delivered;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t delivered = 0;
    while (delivered < count) {
        const int32_t page = position_ / PAGE_SIZE;
        if (page != cachedPage_) FillPage(page);
        const int32_t offset = position_ % PAGE_SIZE;
        const int32_t available = std::min(pageFill_ - offset, count - delivered);
        if (available <= 0) break;
        std::memcpy(out + delivered, page_ + offset, static_cast<size_t>(available));
        delivered += available;
        position_ += available;
    }
    return delivered;
}

// Writes land at this stream's own position, not wherever the last page fill
// left the source, and drop the cached page they may have made stale.
int32_t FileStream::Write(const void* buffer, int32_t count) {
    if (!source_ || count < 1) return 0;
    source_->Seek(position_, SEEK_FROM_START);
    const int32_t written = std::max(source_->Write(buffer, count), 0);
    position_ = SaturatePosition(int64_t{position_} + written);
    cachedPage_ = -1;
    return written;
}

int32_t FileStream::Size() { return source_ ? source_->Size() : 0; }
bool FileStream::IsOpen() { return source_ && source_->IsOpen(); }
bool FileStream::IsEOF() { return source_ ? position_ >= source_->Size() : position_ >= 0; }

}  // namespace cvcore
