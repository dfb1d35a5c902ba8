// Mail definition files: six header lines and the body.
#pragma once

#include "run/TextFiles.h"

#include <string>
#include <vector>

// What a mail definition file says about one mail.
struct TMail {
    std::string OutcomeLogPath;
    std::string Host;
    std::string MailFolder;       // per-mail folder, or empty
    std::string AddressList;      // TO bare, "CC:", "BCC:" entries joined by commas
    std::string RecipientDisplay; // "TO:", "CC:", "BCC:" entries joined by tabs
    std::string Sender1, Sender2, Sender3;
    std::string Subject;
    std::string AttachmentList;   // quoted absolute paths joined by commas
    std::string AttachmentNames;  // file names joined by tabs
    std::vector<std::string> Body; // the lines after the header, widened

    // Fewer than six lines: every field is empty, and the mail fails.
    bool TooShort = false;
    // CC and BCC files the definition names that do not exist (a run passes
    // over them; a check reports them).
    std::vector<std::string> MissingFiles;
    // Why the mail cannot go as written, or empty: a CC, BCC or attachment
    // list file that exists but cannot be used (unreadable, or not Shift_JIS).
    // Such a mail fails; it never goes without what the file holds.
    std::string Unusable;
};

// The mail of a definition's lines. The CC, BCC and attachment list files it
// names are read as the batch's files are; nothing is written.
TMail ParseMailDefinition(std::vector<std::string> lines, const std::string& definitionPath,
                          const std::string& programFolder, const TBatchReader& files);

// The body file's text: every body line followed by CR LF.
std::string BodyText(const TMail& mail);
