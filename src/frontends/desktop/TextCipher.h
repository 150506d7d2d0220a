// Texts kept enciphered in the program (the about box's): a plain search of the file does not find
// them, and whoever patches the bytes gets garbage rather than a new text. The literal is enciphered
// while compiling, so only the enciphered bytes reach the program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lym {

// The key byte for each position: a position-dependent mask, so that repeated letters differ.
constexpr uint8_t CipherKey(size_t position) { return uint8_t(0xA5 + 0x3B * position); }

template <size_t N>
struct TEncipheredText {
  std::array<uint8_t, N> Bytes{};

  std::string Text() const {
    std::string text(N, '\0');
    for (size_t i = 0; i < N; ++i) text[i] = char(Bytes[i] ^ CipherKey(i));
    return text;
  }
};

// N counts the literal's terminating zero, which is not kept.
template <size_t N>
consteval TEncipheredText<N - 1> EncipherText(const char (&text)[N]) {
  TEncipheredText<N - 1> enciphered;
  for (size_t i = 0; i + 1 < N; ++i) enciphered.Bytes[i] = uint8_t(uint8_t(text[i]) ^ CipherKey(i));
  return enciphered;
}

}  // namespace lym
