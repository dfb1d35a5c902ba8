// Outbox mode: the mail is written as an .eml file instead of being sent.
#pragma once

#include "MailBuilder.h"

#include <string>

// Writes the message into `folder` (created when missing, for the user
// alone) under a new, unique name, and its envelope beside it (same name,
// ".envelope"): the envelope is not part of the message, so a Bcc recipient
// recorded there never goes out if the file is sent later. Both files are
// created fresh, never through a link, readable by the user alone. Returns
// the path of the .eml. Throws EMailError: ecCantCreate when the folder is
// not the user's own or others may write into it, ecIoError when it cannot
// be written.
std::string WriteToOutbox(const std::string& folder, const TBuiltMail& mail, const std::string& envelope);
