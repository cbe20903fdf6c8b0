// Exit codes of the kelvora tool, as documented in --help and the README.
#pragma once

namespace kelvora::cli {

constexpr int EXIT_ALL_DONE = 0;       // everything asked for was done
constexpr int EXIT_SOME_FAILED = 1;    // some entries failed (each reported)
constexpr int EXIT_USAGE = 2;          // the command line is wrong
constexpr int EXIT_DAMAGED = 3;        // not a viewer file, or damaged
constexpr int EXIT_PASSWORD = 4;       // password missing or wrong

}  // namespace kelvora::cli
