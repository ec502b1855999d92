// Answers both stand-ins give: JSON bodies, error bodies, and the faults that
// look the same whatever the request (hang, 500, not JSON, dropped, exit).
#pragma once

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <string>

#include "StopFlag.h"

namespace quorvel::standin {

void replyJson(httplib::Response& response, int status, const nlohmann::json& body);

// {"error":{"code":status,"message":…,"type":…}}, the shape llama-server uses.
void replyError(httplib::Response& response, int status, const std::string& message,
                const std::string& type = "server_error");

// Status 200, a body that is not JSON.
void replyNotJson(httplib::Response& response);

// Announces `body` in full (Content-Length) but sends only its first half,
// then closes the connection.
void replyDropped(httplib::Response& response, std::string body, const std::string& contentType);

// Never answers: waits until the server stops (bounded by kLongestWaitMs),
// then answers 503 so the worker can end.
void hangUntilStopped(httplib::Response& response, const StopFlag& stop);

// Ends the process at once with status 1, as a crash would: no answer, no
// clean-up; the client sees its connection closed.
[[noreturn]] void exitLikeACrash(const std::string& program);

}  // namespace quorvel::standin
