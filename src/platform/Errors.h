// The program's error classes. Where an error "reaches the standard error box
// and abandons the handler", the code throws one of these; each window handler
// catches them at its boundary and shows the box. No exception crosses the
// event loop. Messages are CP932 texts.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& cp932Message) : std::runtime_error(cp932Message) {}
    const std::string Message() const { return what(); }
};

// A text that is not a number where one is needed.
class EConvertError : public Exception {
    using Exception::Exception;
};
// A file operation without retries failed (the trace log).
class EInOutError : public Exception {
    using Exception::Exception;
};
// An index outside a list.
class EListError : public Exception {
    using Exception::Exception;
};
// An initialization-file write failed.
class EIniFileException : public Exception {
    using Exception::Exception;
};
