// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace quorvane {

struct TSha256::TState {
  EVP_MD_CTX* Context = nullptr;
};

TSha256::TSha256() : FState(std::make_unique<TState>()) {
  FState->Context = EVP_MD_CTX_new();
  if (!FState->Context || EVP_DigestInit_ex(FState->Context, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 is not available");
}

TSha256::~TSha256() { EVP_MD_CTX_free(FState->Context); }

void TSha256::Update(const void* bytes, std::size_t length) {
  if (length != 0 && EVP_DigestUpdate(FState->Context, bytes, length) != 1)
    throw std::runtime_error("SHA-256 update failed");
}

std::string TSha256::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(FState->Context, digest, &length) != 1 ||
      EVP_DigestInit_ex(FState->Context, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 final failed");
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

std::string Sha256Hex(std::string_view data) {
  TSha256 hasher;
  hasher.Update(data.data(), data.size());
  return hasher.Hex();
}

}  // namespace quorvane
