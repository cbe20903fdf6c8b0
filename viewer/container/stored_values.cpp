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
// in the program's data.
template <std::size_t N>
consteval std::array<char, N> scramble(const char (&plain)[N]) {
  std::array<char, N> out{};
  for (std::size_t i = 0; i + 1 < N; ++i)
    out[i] = static_cast<char>(static_cast<unsigned char>(plain[i]) ^
                               phrase_byte());
  out[N - 1] = '\0';
  return out;
}

template <std::size_t N>
consteval bool printable_without_zero(const char (&text)[N]) {
  for (std::size_t i = 0; i + 1 < N; ++i)
    if (text[i] < 0x20 || text[i] > 0x7E) return false;
  return true;
}

constexpr char kPasswordCheck[] = "KELVORA-PASS-CHECK";
constexpr char kContainerKey[] = "q7Vx!Rm2#Lp9@Tz4$Kw8";
constexpr char kWebsiteAddress[] = "https://www.kelvora-cd.example/";
static_assert(sizeof(kPasswordCheck) - 1 == PASSWORD_CHECK_LENGTH);
static_assert(sizeof(kContainerKey) - 1 == CONTAINER_KEY_LENGTH);
static_assert(sizeof(kWebsiteAddress) - 1 == WEBSITE_ADDRESS_LENGTH);
static_assert(printable_without_zero(kPasswordCheck));
static_assert(printable_without_zero(kContainerKey));
static_assert(printable_without_zero(kWebsiteAddress));

consteval unsigned char combined(const char* text) {
  unsigned char value = 0;
  for (; *text; ++text) value ^= static_cast<unsigned char>(*text);
  return value;
}
// A container key whose characters XOR to 0 would leave containers in plain.
static_assert(combined(kContainerKey) != 0);

bool Unscrambled = false;

}  // namespace

constinit std::array<char, PASSWORD_CHECK_LENGTH + 1> PasswordCheck =
    scramble(kPasswordCheck);
constinit std::array<char, CONTAINER_KEY_LENGTH + 1> ContainerKey =
    scramble(kContainerKey);
constinit std::array<char, WEBSITE_ADDRESS_LENGTH + 1> WebsiteAddress =
    scramble(kWebsiteAddress);

void unscramble_stored_values() {
  if (Unscrambled) return;
  Unscrambled = true;
  xor_all(KeyPhrase, PasswordCheck.data(), PASSWORD_CHECK_LENGTH);
  xor_all(KeyPhrase, ContainerKey.data(), CONTAINER_KEY_LENGTH);
  xor_all(KeyPhrase, WebsiteAddress.data(), WEBSITE_ADDRESS_LENGTH);
}

}  // namespace kelvora
