// The three values the program keeps scrambled in its own data, and the key
// phrase that unscrambles them.  Whatever writes viewer files uses the same
// ContainerKey and PasswordCheck.
#pragma once

#include <array>
#include <cstddef>

namespace kelvora {

constexpr std::size_t PASSWORD_CHECK_LENGTH = 18;
constexpr std::size_t CONTAINER_KEY_LENGTH = 20;
constexpr std::size_t WEBSITE_ADDRESS_LENGTH = 31;
constexpr std::size_t KEY_PHRASE_LENGTH = 34;

// Each array holds the value's characters and a terminator.  Until
// unscramble_stored_values has run they hold the scrambled bytes.
extern std::array<char, PASSWORD_CHECK_LENGTH + 1> PasswordCheck;
extern std::array<char, CONTAINER_KEY_LENGTH + 1> ContainerKey;
extern std::array<char, WEBSITE_ADDRESS_LENGTH + 1> WebsiteAddress;

// The fixed key phrase, stored in plain.
extern const char KeyPhrase[KEY_PHRASE_LENGTH + 1];

// Applies xor_all with the key phrase to PasswordCheck (18 bytes),
// ContainerKey (20 bytes) and WebsiteAddress (31 bytes), in that order.
// Runs once per process; later calls do nothing, so that a front end and a
// library that both need the plain values cannot scramble them again.
void unscramble_stored_values();

}  // namespace kelvora
