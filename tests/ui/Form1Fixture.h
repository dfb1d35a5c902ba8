// A main window in a program folder of its own: settings naming the fake
// mailer, a design file, mails and a job list. Only one TForm1 may live at a
// time (one single-instance guard per process), so each test makes its
// windows one after the other.
#pragma once

#include "QtTestApp.h"

#include "platform/InstanceMarker.h"
#include "support/FakeMailerRecord.h"
#include "support/TempFolder.h"
#include "ui/TForm1.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

class Form1Test : public ::testing::Test {
protected:
    struct TBox {
        TForm1::TBoxKind kind;
        QString text;
    };

    void SetUp() override
    {
        QtTestApp();
        // A marker of this test process alone, so a running program or another
        // test program does not keep the window from starting.
        TForm1::SetInstanceName(markerName_);
        TForm1::SetBoxHook([this](TForm1::TBoxKind kind, const QString&, const QString& text) {
            boxes.push_back({kind, text});
            return answerYes;
        });
        TForm1::SetExitHook([this](int code) { exits.push_back(code); });
        WriteIni(40, 30);
        folder.MakeFolder("temp");
    }

    void TearDown() override
    {
        form.reset();
        TForm1::SetBoxHook({});
        TForm1::SetExitHook({});
        TForm1::SetInstanceName("Ident8957");
        ::unlink(platform::MarkerFilePath(markerName_).c_str());
    }

    // The settings file of this (test) executable in the program folder.
    void WriteIni(int top, int left)
    {
        folder.WriteLines("tarn_ui_tests.ini", {"[Pos]", "Top=" + std::to_string(top), "Left=" + std::to_string(left),
                                                "[Mail]", "Name=" + FakeMailerPath()});
    }

    // Mails m1..mn with send codes C1..Cn and subjects 件名1..; the fake
    // mailer's control keys go beside it into the work folder.
    void WriteJobs(int n, const std::vector<std::string>& mailerKeys)
    {
        std::vector<std::string> jobs;
        for (int k = 1; k <= n; ++k) {
            const std::string name = "m" + std::to_string(k) + ".txt";
            folder.WriteLines("mails/" + name, {"out.txt", "host", "to" + std::to_string(k) + "@example.jp",
                                                "from@example.jp", "件名" + std::to_string(k), "", "本文"});
            jobs.push_back("mails/" + name + ",C" + std::to_string(k));
        }
        folder.WriteLines("jobs.txt", jobs);
        if (::access(FakeMailerPath().c_str(), X_OK) != 0)
            ADD_FAILURE() << FakeMailerPath() << " is missing: build the fake_mailer target";
        std::string ctl = "FAKE_MAILER_RECORD=" + RecordPath() + "\n";
        for (const std::string& key : mailerKeys)
            ctl += key + "\n";
        folder.WriteBytes("temp/fake_mailer.ctl", ctl);
    }

    std::string RecordPath() const { return folder.Path() + "mailer-record.txt"; }
    std::vector<std::string> ResultLines() const { return ReadUtf8Lines(folder.Path() + "$mail_result.csv"); }

    // Builds the window from UTF-8 arguments; it is not shown yet.
    TForm1& Make(const std::vector<std::string>& utf8Args)
    {
        form.reset();
        std::vector<std::string> args;
        for (const std::string& a : utf8Args)
            args.push_back(Sjis(a));
        form = std::make_unique<TForm1>(args, folder.Cp932Path(), *clock, *mailer);
        return *form;
    }
    // The same on the given clock and mailer (virtual time, scripted mailers).
    TForm1& MakeWith(const std::vector<std::string>& utf8Args, IClock& c, IMailerProcess& m)
    {
        clock = &c;
        mailer = &m;
        return Make(utf8Args);
    }

    // Shows the window and lets the activation work (the whole run) happen.
    void ShowAndActivate()
    {
        form->show();
        WaitFor([] { return false; }, 50);
    }

    template <class T> T* Find(const char* name) const { return form->findChild<T*>(QString::fromLatin1(name)); }
    QString State() const { return Find<QLabel>("LabelState")->text(); }
    QString Summary(int row) const { return Find<QTreeWidget>("ListView1")->topLevelItem(row)->text(1); }

    TTempFolder folder;
    TSystemClock systemClock;
    TSystemMailerProcess systemMailer;
    IClock* clock = &systemClock;
    IMailerProcess* mailer = &systemMailer;
    std::unique_ptr<TForm1> form;
    std::vector<TBox> boxes;
    std::vector<int> exits;
    bool answerYes = true;

private:
    std::string markerName_ = "TarnTest-Form1-" + std::to_string(::getpid());
};
