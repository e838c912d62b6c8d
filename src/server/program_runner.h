// Runs an outside program by absolute path with a fixed environment and collects its exit
// status, standard output and standard error.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct TProgramResult {
  bool Started = false;  // false: the program could not be run at all (see Error)
  int ExitStatus = -1;   // the exit code; -1 when it ended through a signal
  std::string Output;    // standard output
  std::string ErrorOutput;
  std::string CommandLine;  // for messages
  std::string Error;        // why it did not start or did not end normally
};

// Runs `program` (an absolute path) with `args` and exactly the environment `env`
// ("NAME=value" entries), standard input from /dev/null, and waits for its end.
TProgramResult RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::string>& env);

// The absolute path of an executable named `name` in the folders of `search_path`
// (a PATH value); a name with a "/" is taken as a path. Empty when not found.
std::string FindExecutable(const std::string& name, const std::string& search_path);

}  // namespace quorvane
