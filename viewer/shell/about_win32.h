// The About box.
#pragma once

namespace kelvora {

void run_about_box();

}  // namespace kelvora
