// The engine runs of the command line: "--test" feeds WAV recordings through
// the live path as if spoken, "--bank" cleans a JSON-lines bank of
// transcripts with only the language model running, and "--replay" cleans the
// long dictations of the history again. Each builds its own Servers and
// Pipeline, prints its report on standard output and answers the exit status.
//
// Threading: each run does its work on one task thread while the calling
// (main) thread waits for it; dictations never overlap.
#pragma once

#include <string>
#include <vector>

namespace quorvel {

// args: the whole argument list (element 0 the program path).
int runTest(const std::vector<std::string>& args);
int runBank(const std::string& in, const std::string& out);
int runReplay();

// The message "--bank" gives when QUORVEL_LLAMA_PORT is unusable.
inline constexpr const char* kBankPortMessage =
    "--bank needs QUORVEL_LLAMA_PORT set to a free port other than 8179 (tools/testbank.py does this)";

}  // namespace quorvel
