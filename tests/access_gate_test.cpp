// The stored values and the password check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "viewer/container/ciphers.h"
#include "viewer/container/password.h"
#include "viewer/container/stored_values.h"

namespace kelvora {
namespace {

TEST(StoredValues, HaveTheirLengthsAndArePrintableWithoutZeroBytes) {
  struct Case {
    const char* data;
    std::size_t length;
  } cases[] = {{PasswordCheck.data(), PASSWORD_CHECK_LENGTH},
               {ContainerKey.data(), CONTAINER_KEY_LENGTH},
               {WebsiteAddress.data(), WEBSITE_ADDRESS_LENGTH},
               {KeyPhrase, KEY_PHRASE_LENGTH}};
  for (const Case& c : cases) {
    EXPECT_EQ(std::strlen(c.data), c.length);
    for (std::size_t i = 0; i < c.length; ++i) {
      EXPECT_GE(c.data[i], 0x20);
      EXPECT_LE(c.data[i], 0x7E);
    }
  }
  EXPECT_NE(xor_all_key_byte(ContainerKey.data()), 0) << "would store in plain";
  const std::string site = WebsiteAddress.data();
  EXPECT_NE(site.find(".example/"), std::string::npos) << site;
}

TEST(StoredValues, ThePlainTextsAreNotInTheProgram) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  if (!self) GTEST_SKIP() << "cannot read the running program";
  const std::string image((std::istreambuf_iterator<char>(self)), {});
  for (const char* value : {PasswordCheck.data(), ContainerKey.data(), WebsiteAddress.data()})
    EXPECT_EQ(image.find(value), std::string::npos) << value;
}

TEST(StoredValues, UnscramblingTwiceChangesNothing) {
  const std::string before = PasswordCheck.data();
  unscramble_stored_values();
  EXPECT_EQ(before, PasswordCheck.data());
}

VIEWER_SETTINGS settings_for(const std::string& password) {
  VIEWER_SETTINGS settings;
  const auto block = password_check_block(password);
  std::memcpy(settings.ContentKey.data(), block.data(), block.size());
  return settings;
}

TEST(PasswordCheck, AcceptsExactlyTheRightPassword) {
  struct Case {
    const char* stored;
    std::string entered;
    PasswordResult result;
  } cases[] = {
      {"Secret", "Secret", PasswordResult::Correct},
      {"Secret", "secret", PasswordResult::Incorrect},
      {"Secret", "SECRET", PasswordResult::Incorrect},
      {"Secret", "Secre", PasswordResult::Incorrect},
      {"Secret", "", PasswordResult::Incorrect},
      {"\xE9t\xE9", "\xE9t\xE9", PasswordResult::Correct},
      {"Secret", std::string(255, 'x'), PasswordResult::TooLong},
  };
  for (const Case& c : cases) {
    VIEWER_SETTINGS settings = settings_for(c.stored);
    const auto block_before = settings.ContentKey;
    EXPECT_EQ(check_password(settings, c.entered), c.result) << c.stored << " / " << c.entered;
    if (c.result == PasswordResult::Correct) {
      EXPECT_STREQ(settings.content_key(), c.entered.c_str());
    } else {
      EXPECT_EQ(settings.ContentKey, block_before) << "a refused try changes nothing";
    }
  }
}

TEST(PasswordCheck, TheLongestPasswordFitsContentKey) {
  const std::string longest(MAX_PASSWORD_LENGTH, 'p');
  VIEWER_SETTINGS settings = settings_for(longest);
  ASSERT_EQ(check_password(settings, longest), PasswordResult::Correct);
  EXPECT_EQ(std::strlen(settings.content_key()), 254u);
}

TEST(PasswordCheck, AnEmptyPasswordPassesOnlyAPlainCheckBlock) {
  VIEWER_SETTINGS plain;
  std::memcpy(plain.ContentKey.data(), PasswordCheck.data(), PASSWORD_CHECK_LENGTH);
  EXPECT_EQ(check_password(plain, ""), PasswordResult::Correct);
  EXPECT_STREQ(plain.content_key(), "");

  VIEWER_SETTINGS other = settings_for("x");
  EXPECT_EQ(check_password(other, ""), PasswordResult::Incorrect);
}

TEST(PasswordCheck, TheBlockMustEndRightAfterTheCheckText) {
  VIEWER_SETTINGS settings = settings_for("pw");
  settings.ContentKey[PASSWORD_CHECK_LENGTH] = 'X';
  EXPECT_EQ(check_password(settings, "pw"), PasswordResult::Incorrect);
}

TEST(PasswordCheck, ABlockWithoutAnyZeroByteIsReadSafely) {
  VIEWER_SETTINGS settings;
  std::fill(settings.ContentKey.begin(), settings.ContentKey.end() - 1, 'Z');
  EXPECT_EQ(check_password(settings, "anything"), PasswordResult::Incorrect);
}

}  // namespace
}  // namespace kelvora
