// Runs the built kelvora tool in a shell, for the end-to-end tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace kelvora::test {

struct ToolRun {
  int code = -1;
  std::string out, err;
};

inline std::string shell_quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) {
    if (c == '\'')
      q.append("'\\''");
    else
      q.push_back(c);
  }
  q.push_back('\'');
  return q;
}

// Runs the tool with arguments and standard input (never a terminal, so the
// tool never prompts).  prefix is shell text put before the command, to run
// it under other limits or another user.
inline ToolRun run_tool(const std::vector<std::string>& args, const std::string& input = "",
                        const std::string& prefix = "") {
  TempDir io;
  write_file(io / "in", input);
  std::string command = prefix + shell_quoted(KELVORA_BINARY);
  for (const std::string& a : args) {
    command += ' ';
    command += shell_quoted(a);
  }
  command += " <" + shell_quoted((io / "in").string()) + " >" +
             shell_quoted((io / "out").string()) + " 2>" + shell_quoted((io / "err").string());
  ToolRun r;
  const int status = std::system(("sh -c " + shell_quoted(command)).c_str());
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto out = read_file(io / "out");
  const auto err = read_file(io / "err");
  r.out.assign(out.begin(), out.end());
  r.err.assign(err.begin(), err.end());
  return r;
}

}  // namespace kelvora::test
