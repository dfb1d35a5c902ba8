#include "support/TestSystem.h"

#include "platform/Paths.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

std::filesystem::path OsName(const std::string& cp932Path)
{
    const std::string path = platform::ToOsPath(cp932Path);
    if (path.empty())
        return {};
    std::wstring wide(path.size(), L'\0');
    const int n = ::MultiByteToWideChar(932, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                        static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return std::filesystem::path(wide);
}

void SetEnvironment(const char* name, const char* value)
{
    // The C runtime's copy, which getenv reads, and the process's own, which
    // a started program inherits.
    ::_putenv_s(name, value ? value : "");
    ::SetEnvironmentVariableA(name, value);
}

// Share modes belong to handles, not processes: a handle of this process that
// shares nothing keeps every other open out. A timed hold lets a thread close
// it when the time is up.
struct TFileHold::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::thread releaser;
    std::mutex mutex;
    std::condition_variable wake;
    bool ending = false;
};

TFileHold::TFileHold(const std::string& osPath, int ms) : state_(std::make_unique<State>())
{
    const std::wstring name = OsName(osPath).wstring();
    state_->handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ms < 0 || state_->handle == INVALID_HANDLE_VALUE)
        return;
    State* s = state_.get();
    s->releaser = std::thread([s, ms] {
        std::unique_lock<std::mutex> lock(s->mutex);
        s->wake.wait_for(lock, std::chrono::milliseconds(ms), [s] { return s->ending; });
        ::CloseHandle(s->handle);
        s->handle = INVALID_HANDLE_VALUE;
    });
}

TFileHold::~TFileHold()
{
    if (state_->releaser.joinable()) {
        // A timed hold runs its time out, as another program would.
        state_->releaser.join();
    }
    if (state_->handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(state_->handle);
}

bool TFileHold::Held() const { return state_->handle != INVALID_HANDLE_VALUE || state_->releaser.joinable(); }
