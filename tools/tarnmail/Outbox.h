// Without a host the mail is written as an .eml file instead of being sent.
#pragma once

#include <string>

// Writes the message into `folder` (created when missing) under a new,
// unique name; returns the path. Throws EMailError(ecOther) when it cannot.
std::string WriteToOutbox(const std::string& folder, const std::string& message);
