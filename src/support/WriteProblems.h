// Failed writes of the user's own files, for the user to see: the first
// failure of a file since its last good write becomes one message
// ("Can't save your words: disk full"), handed to the one listener (the
// application's status line) and logged; later failures of the same file
// stay quiet until a write of it works again.
//
// Threading: any thread. The listener runs on the thread that failed, with no
// lock of this module held.
#pragma once

#include <functional>
#include <string>

namespace quorvel::WriteProblems {

enum class File { history, words, settings };

// A failed write's reason in a few words for the user ("disk full"), from an
// error message that ends with the system's reason; other reasons are given
// as the system words them.
std::string inWords(const std::string& error);

// The message for the user: "Can't save " + what + ": " + the reason in words.
std::string message(File file, const std::string& error);

void failed(File file, const std::string& error);
void succeeded(File file);

// Replaces the listener; an empty function removes it.
void setListener(std::function<void(const std::string& message)> listener);

}  // namespace quorvel::WriteProblems
