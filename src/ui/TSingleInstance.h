// The single-instance guard of the main window. The first instance takes the
// per-user marker and goes on; a later instance finds it taken, asks the first
// one to come forward (when the title rule allows) and ends before the main
// window does any work.
//
// A plain class, not a QObject: it has no signals and no window, and its owner
// holds it as a member. It only needs Qt to listen for requests to come forward.
#pragma once

#include "display/TInstanceGuard.h"

#include <memory>
#include <string>
#include <utility>

class QSocketNotifier;
class QWidget;

class TSingleInstance : public TInstanceGuard {
public:
    // `owner` is the window to bring forward when a later instance asks.
    // Throws EMultiSingleInstance when another guard is alive in this process.
    explicit TSingleInstance(QWidget* owner = nullptr);
    ~TSingleInstance() override;

    // The application title recorded for later instances: the application
    // name (QCoreApplication::applicationName) unless set here (CP932).
    void SetApplicationTitle(std::string value) { applicationTitle_ = std::move(value); }

protected:
    void Claimed() override;

private:
    void BringForward();

    QWidget* owner_;
    std::string applicationTitle_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
