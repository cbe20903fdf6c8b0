// The settings block and what is derived from it.
#include <cstdlib>
#include <cstring>

#include "viewer/base/path_text.h"
#include "viewer/base/little_endian.h"
#include "tests/fuzz/fuzz_support.h"
#include "viewer/container/password.h"
#include "viewer/container/viewer_file.h"
#include "viewer/shell/start_screen_layout.h"

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
  // The start screen's placements, on screens of up to 4096 x 4096 pixels
  // and pictures and fonts of sizes taken from the unused bytes 52 to 59.
  const std::uint32_t screen_w = 1 + (read_le32(block.data() + 52) % 4096);
  const std::uint32_t screen_h = 1 + (read_le32(block.data() + 56) % 4096);
  const auto picture = static_cast<std::int32_t>(read_le32(block.data() + 4124));
  const std::int32_t pw = picture % 5000, ph = (picture / 5000) % 5000;
  background_copies(settings.Flags, screen_w, screen_h, pw, ph);
  logo_placement(settings.Flags, screen_w, screen_h, pw, ph, settings.LogoX, settings.LogoY);
  layout_screen_text(settings.ScreenText, settings.TextFlags, static_cast<std::int32_t>(screen_w),
                     static_cast<std::int32_t>(screen_h), settings.FontHeight % 1000,
                     std::abs(settings.FontHeight % 100), settings.TextX, settings.TextY);
  // The rest of the input is a typed password.
  if (size > block.size()) {
    const std::string typed(reinterpret_cast<const char*>(data) + block.size(),
                            size - block.size());
    check_password(settings, typed);
  }
  return 0;
}
