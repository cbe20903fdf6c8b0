#include "viewer/container/password.h"

#include <cstring>
#include <string>

#include "viewer/container/ciphers.h"
#include "viewer/container/stored_values.h"

namespace kelvora {

const char* const PASSWORD_RETRY_CAPTION = "Password Incorrect.";
const char* const PASSWORD_RETRY_TEXT =
    "Password incorrect, do you want to try again?\r\n\r\n( case sensitive - "
    "make sure \"CAPS LOCK\" is not on )";
const char* const PASSWORD_TOO_LONG_CAPTION = "Password Incorrect.";
const char* const PASSWORD_TOO_LONG_TEXT =
    "The password is longer than 254 characters and cannot be right.";

PasswordResult check_password(VIEWER_SETTINGS& settings,
                              std::string_view entered) {
  // The key is a terminated text: anything behind a zero byte is not part
  // of it, as with the text of an edit field.
  const std::string key(entered.substr(0, entered.find('\0')));
  if (key.size() > MAX_PASSWORD_LENGTH) return PasswordResult::TooLong;

  // One spare zero byte, so the comparison below always ends in the buffer.
  std::array<char, CONTENT_KEY_FIELD + 1> scratch{};
  std::memcpy(scratch.data(), settings.ContentKey.data(), CONTENT_KEY_FIELD);
  xor_indexed(key.c_str(), scratch.data(), PASSWORD_CHECK_LENGTH);
  if (std::strcmp(scratch.data(), PasswordCheck.data()) != 0)
    return PasswordResult::Incorrect;

  settings.ContentKey.fill('\0');
  std::memcpy(settings.ContentKey.data(), key.c_str(), key.size() + 1);
  return PasswordResult::Correct;
}

std::array<char, CONTENT_KEY_FIELD> password_check_block(
    std::string_view password) {
  const std::string key(password.substr(0, password.find('\0')));
  std::array<char, CONTENT_KEY_FIELD> block{};
  std::memcpy(block.data(), PasswordCheck.data(), PASSWORD_CHECK_LENGTH);
  xor_indexed(key.c_str(), block.data(), PASSWORD_CHECK_LENGTH);
  return block;
}

}  // namespace kelvora
