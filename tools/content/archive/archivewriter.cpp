#include "archive/archivewriter.h"

#include <stdexcept>

#include <zip.h>
#include <zlib.h>

namespace content {
namespace {

// The traditional PKWARE stream cipher, as the ZIP application note defines it.
class ZipCipher {
public:
    explicit ZipCipher(const std::string& password) : table_(get_crc_table()) {
        for (unsigned char c : password) Update(c);
    }
    std::uint8_t Encrypt(std::uint8_t plain) {
        std::uint32_t t = (keys_[2] & 0xFFFF) | 2;
        auto cipher = static_cast<std::uint8_t>(plain ^ (((t * (t ^ 1)) >> 8) & 0xFF));
        Update(plain);
        return cipher;
    }

private:
    std::uint32_t Crc(std::uint32_t crc, std::uint8_t b) const {
        return static_cast<std::uint32_t>(table_[(crc ^ b) & 0xFF]) ^ (crc >> 8);
    }
    void Update(std::uint8_t b) {
        keys_[0] = Crc(keys_[0], b);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = Crc(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
    }

    const z_crc_t* table_;
    std::uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& in) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::vector<std::uint8_t> out(deflateBound(&z, in.size()) + 16);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

std::uint32_t NameSeed(const std::string& name) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : name) h = (h ^ c) * 16777619u;
    return h;
}

}  // namespace

std::vector<std::uint8_t> EncryptEntry(const std::vector<std::uint8_t>& compressed, const std::string& password,
                                       std::uint32_t crc, std::uint32_t seed) {
    ZipCipher cipher(password);
    std::vector<std::uint8_t> out;
    out.reserve(compressed.size() + 12);
    // The filler only has to differ between entries; a seeded generator keeps
    // the archive reproducible.
    std::uint32_t s = seed | 1;
    for (int i = 0; i < 10; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        out.push_back(cipher.Encrypt(static_cast<std::uint8_t>(s >> 11)));
    }
    out.push_back(cipher.Encrypt(static_cast<std::uint8_t>(crc >> 16)));
    out.push_back(cipher.Encrypt(static_cast<std::uint8_t>(crc >> 24)));
    for (std::uint8_t b : compressed) out.push_back(cipher.Encrypt(b));
    return out;
}

ArchiveWriter::ArchiveWriter(const std::string& path, const std::string& password) : path_(path), password_(password) {
    zip_ = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip_) throw std::runtime_error("cannot create " + path);
}

ArchiveWriter::~ArchiveWriter() {
    if (zip_) zipClose(zip_, nullptr);
}

void ArchiveWriter::Add(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    auto crc = static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
    std::vector<std::uint8_t> data = EncryptEntry(Deflate(bytes), password_, crc, NameSeed(name));

    // A fixed time stamp (the show's release night) instead of the clock.
    zip_fileinfo info{};
    info.tmz_date = {0, 0, 20, 8, 11, 2026};
    // minizip writes the headers; the entry is handed over already deflated
    // and encrypted (raw), with the encryption flag given as the base flag,
    // because minizip's own encryption seeds its header from the clock.
    int rc = zipOpenNewFileInZip4(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9, 1,
                                  -MAX_WBITS, 9, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 1);
    if (rc != ZIP_OK) throw std::runtime_error("cannot add " + name + " to " + path_);
    rc = zipWriteInFileInZip(zip_, data.data(), static_cast<unsigned>(data.size()));
    if (rc == ZIP_OK) rc = zipCloseFileInZipRaw(zip_, bytes.size(), crc);
    if (rc != ZIP_OK) throw std::runtime_error("cannot write " + name + " to " + path_);
}

void ArchiveWriter::Close() {
    if (!zip_) return;
    int rc = zipClose(zip_, nullptr);
    zip_ = nullptr;
    if (rc != ZIP_OK) throw std::runtime_error("cannot finish " + path_);
}

}  // namespace content
