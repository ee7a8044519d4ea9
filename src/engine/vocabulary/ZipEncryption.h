// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo::engine {

// How a new ZIP with a password is encrypted. Reading takes both.
enum class ZipEncryption : std::uint8_t
{
    // AES-256, written by 7-Zip: the strong choice, which old unzip programs and the Windows file
    // manager cannot open.
    aes256,
    // The old scheme every ZIP reader opens, and known-plaintext attacks open within minutes.
    zipCrypto,
};

// Their names on the command line and in the settings: "aes256", "zipcrypto".
constexpr std::string_view rawValue(ZipEncryption encryption) noexcept
{
    return encryption == ZipEncryption::aes256 ? "aes256" : "zipcrypto";
}

constexpr std::optional<ZipEncryption> zipEncryptionFrom(std::string_view raw) noexcept
{
    for (const ZipEncryption encryption : {ZipEncryption::aes256, ZipEncryption::zipCrypto}) {
        if (raw == rawValue(encryption)) {
            return encryption;
        }
    }
    return std::nullopt;
}

} // namespace tarvo::engine
