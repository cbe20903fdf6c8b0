// The settings block and what is derived from it.
#include <cstring>

#include "tests/fuzz/fuzz_support.h"
#include "viewer/container/password.h"
#include "viewer/container/viewer_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvora;
  fuzz::quiet_setup();
  std::array<std::uint8_t, SETTINGS_BLOCK_SIZE> block{};
  std::memcpy(block.data(), data, std::min(size, block.size()));
  VIEWER_SETTINGS settings = decode_settings(block);
  flag_names(settings.Flags);
  text_flag_names(settings.TextFlags);
  path_file_part(settings.BackgroundFile);
  path_file_part(settings.LogoFile);
  // The rest of the input is a typed password.
  if (size > block.size()) {
    const std::string typed(reinterpret_cast<const char*>(data) + block.size(),
                            size - block.size());
    check_password(settings, typed);
  }
  return 0;
}
