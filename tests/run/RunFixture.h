// A delivery run on virtual time in a temporary program folder.
#pragma once

#include "run/TDelivery.h"
#include "support/RunFakes.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class RunFixture : public ::testing::Test {
protected:
    RunFixture() : view(clock), mailer(clock), delivery(folder.Cp932Path(), view, clock, mailer)
    {
        view.Attach(delivery);
        folder.MakeFolder("temp");
        delivery.ParseCommandLine({}); // defaults
    }

    // A definition file "mails/<name>" of the standard six header lines and a body.
    void WriteMail(const std::string& name, const std::string& subject = "件名", const std::string& to = "to@example.jp")
    {
        folder.WriteLines("mails/" + name, {"../logs/outcome.txt", "mail.example.jp", to, "from@example.jp", subject, "",
                                            "本文の一行目"});
    }
    // n mails m001.txt.. and a job list naming them with send codes A001..
    void WriteJobs(int n)
    {
        std::vector<std::string> lines;
        for (int k = 1; k <= n; ++k) {
            char name[32], code[32];
            std::snprintf(name, sizeof name, "m%03d.txt", k);
            std::snprintf(code, sizeof code, "A%03d", k);
            WriteMail(name);
            lines.push_back(std::string("mails/") + name + "," + code);
        }
        folder.WriteLines("jobs.txt", lines);
        folder.MakeFolder("logs");
    }
    bool Parse(std::vector<std::string> args) { return delivery.ParseCommandLine(args); }
    std::vector<std::string> ResultLines() const { return ReadUtf8Lines(folder.Path() + "$mail_result.csv"); }

    TTempFolder folder;
    TVirtualClock clock;
    TRecordingView view;
    TScriptedMailer mailer;
    TDelivery delivery;
};
