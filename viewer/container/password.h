// The password gate's check, free of the dialog that asks for the text.
//
// On a CD with a password the settings' ContentKey field holds a check
// block: PasswordCheck enciphered with xor_indexed and the password, then a
// zero byte.  The right password turns the block back into PasswordCheck.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "viewer/container/viewer_file.h"

namespace kelvora {

// The longest password that fits ContentKey with its terminator.
constexpr std::size_t MAX_PASSWORD_LENGTH = CONTENT_KEY_FIELD - 1;

enum class PasswordResult {
  Correct,    // ContentKey now holds the password
  Incorrect,  // the block did not turn into PasswordCheck
  TooLong,    // more than MAX_PASSWORD_LENGTH characters: refused unchecked
};

// Steps 1 to 5 of the dialog's OK: deciphers a copy of the check block with
// the entered text and compares it, exactly and case-sensitively, with
// PasswordCheck.  On success the entered text replaces ContentKey.
PasswordResult check_password(VIEWER_SETTINGS& settings,
                              std::string_view entered);

// The check block for a password, as a CD writer stores it in ContentKey.
std::array<char, CONTENT_KEY_FIELD> password_check_block(
    std::string_view password);

// The caption and text of the retry question after a wrong password, and of
// the refusal of an over-long one.
extern const char* const PASSWORD_RETRY_CAPTION;
extern const char* const PASSWORD_RETRY_TEXT;
extern const char* const PASSWORD_TOO_LONG_CAPTION;
extern const char* const PASSWORD_TOO_LONG_TEXT;

}  // namespace kelvora
