#include "viewer/container/stored_values.h"

#include "viewer/container/ciphers.h"

namespace kelvora {

constexpr char KeyPhrase[KEY_PHRASE_LENGTH + 1] =
    "Lanterns drift over the cold quay.";

namespace {

constexpr unsigned char phrase_byte() {
  unsigned char combined = 0;
  for (std::size_t i = 0; i < KEY_PHRASE_LENGTH; ++i)
    combined ^= static_cast<unsigned char>(KeyPhrase[i]);
  return combined;
}
// A phrase whose characters XOR to 0 would store the values in plain.
static_assert(phrase_byte() != 0);

// Scrambles a literal at compile time, so that only the scrambled bytes are
// in the program's data: the plain literal exists only inside this immediate
// function.  A value that is not printable or holds a zero byte, or a
// container key whose characters XOR to 0 (which would leave containers in
// plain), does not compile.
template <std::size_t N>
consteval std::array<char, N> scramble(const char (&plain)[N], bool is_key = false) {
  std::array<char, N> out{};
  unsigned char combined = 0;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    if (plain[i] < 0x20 || plain[i] > 0x7E) throw "stored values are printable";
    combined ^= static_cast<unsigned char>(plain[i]);
    out[i] = static_cast<char>(static_cast<unsigned char>(plain[i]) ^ phrase_byte());
  }
  if (is_key && combined == 0) throw "a key must not XOR to 0";
  out[N - 1] = '\0';
  return out;
}

bool Unscrambled = false;

}  // namespace

// The array sizes fix each value's length.
constinit std::array<char, PASSWORD_CHECK_LENGTH + 1> PasswordCheck =
    scramble("KELVORA-PASS-CHECK");
constinit std::array<char, CONTAINER_KEY_LENGTH + 1> ContainerKey =
    scramble("q7Vx!Rm2#Lp9@Tz4$Kw8", true);
constinit std::array<char, WEBSITE_ADDRESS_LENGTH + 1> WebsiteAddress =
    scramble("https://www.kelvora-cd.example/");

void unscramble_stored_values() {
  if (Unscrambled) return;
  Unscrambled = true;
  xor_all(KeyPhrase, PasswordCheck.data(), PASSWORD_CHECK_LENGTH);
  xor_all(KeyPhrase, ContainerKey.data(), CONTAINER_KEY_LENGTH);
  xor_all(KeyPhrase, WebsiteAddress.data(), WEBSITE_ADDRESS_LENGTH);
}

}  // namespace kelvora
