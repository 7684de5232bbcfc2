#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace cvcore::zip {

// Traditional PKWARE stream cipher: three keys driven through the CRC-32
// table by every plain byte, so decryption is strictly sequential.
class PkwareKeys {
public:
    explicit PkwareKeys(const std::string& password) : table_(get_crc_table()) {
        for (char c : password) Update(static_cast<uint8_t>(c));
    }

    uint8_t Decrypt(uint8_t cipher) {
        const uint32_t t = (k2_ & 0xffff) | 2;
        const auto plain = static_cast<uint8_t>(cipher ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8));
        Update(plain);
        return plain;
    }

    // The keys live in locals for the loop: stores through the byte pointer
    // could otherwise alias them and force a reload per byte.
    void Decrypt(const uint8_t* in, uint8_t* out, size_t count) {
        PkwareKeys keys = *this;
        for (size_t i = 0; i < count; ++i) out[i] = keys.Decrypt(in[i]);
        *this = keys;
    }

private:
    uint32_t Crc(uint32_t crc, uint8_t byte) const { return table_[(crc ^ byte) & 0xff] ^ (crc >> 8); }
    void Update(uint8_t plain) {
        k0_ = Crc(k0_, plain);
        k1_ = (k1_ + (k0_ & 0xff)) * 134775813u + 1;
        k2_ = Crc(k2_, static_cast<uint8_t>(k1_ >> 24));
    }

    const z_crc_t* table_;
    uint32_t k0_ = 0x12345678;
    uint32_t k1_ = 0x23456789;
    uint32_t k2_ = 0x34567890;
};

}  // namespace cvcore::zip
