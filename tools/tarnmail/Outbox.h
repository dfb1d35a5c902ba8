// Outbox mode: the mail is written as an .eml file instead of being sent.
#pragma once

#include <string>

// Writes the message into `folder` (created when missing) under a new,
// unique name, and its envelope beside it (same name, ".envelope"): the
// envelope is not part of the message, so a Bcc recipient recorded there
// never goes out if the file is sent later. Returns the path of the .eml.
// Throws EMailError(ecIoError) when it cannot.
std::string WriteToOutbox(const std::string& folder, const std::string& message, const std::string& envelope);
