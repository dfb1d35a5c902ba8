#include "ui/TSingleInstance.h"

#include "platform/CodePage.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

TSingleInstance::TSingleInstance(QWidget* owner) : owner_(owner) {}

TSingleInstance::~TSingleInstance() { notifier_.reset(); }

void TSingleInstance::Claimed()
{
    std::string title = applicationTitle_;
    if (title.empty())
        title = platform::Utf8ToCp932(QCoreApplication::applicationName().toStdString());
    Marker().WriteTitle(title);

    const platform::NativeHandle fd = Marker().ListenForActivation();
    if (fd == platform::kNoHandle || !QCoreApplication::instance())
        return;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        if (Marker().AcceptActivation())
            BringForward();
    });
}

// The most recently active window of this instance: an open dialog, else the
// owner's window. A minimised window stays minimised.
void TSingleInstance::BringForward()
{
    QWidget* target = qobject_cast<QApplication*>(QCoreApplication::instance())
        ? QApplication::activeModalWidget()
        : nullptr;
    if (!target && owner_)
        target = owner_->window();
    if (!target)
        return;
    target->raise();
    target->activateWindow();
}
