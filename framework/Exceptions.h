#pragma once
// Exception classes of the program. Every failure that leaves a handler is
// one of these; the message is shown as it stands by the default error report.

#include <exception>
#include <string>

namespace quellora {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    const std::string& message() const noexcept { return Message; }

    std::string Message;
};

#define QUELLORA_EXCEPTION(Name, Base)                          \
    class Name : public Base {                                  \
    public:                                                     \
        using Base::Base;                                       \
    };

QUELLORA_EXCEPTION(EInvalidOperation, Exception)
QUELLORA_EXCEPTION(EListError, Exception)
QUELLORA_EXCEPTION(EStreamError, Exception)
QUELLORA_EXCEPTION(EFileStreamError, EStreamError)
QUELLORA_EXCEPTION(EFOpenError, EFileStreamError)
QUELLORA_EXCEPTION(EFCreateError, EFileStreamError)
QUELLORA_EXCEPTION(EReadError, EStreamError)
QUELLORA_EXCEPTION(EWriteError, EStreamError)
QUELLORA_EXCEPTION(EIniFileException, Exception)
QUELLORA_EXCEPTION(EMCIDeviceError, Exception)
QUELLORA_EXCEPTION(EInvalidGraphic, Exception)
QUELLORA_EXCEPTION(EInvalidGraphicOperation, Exception)
QUELLORA_EXCEPTION(EOutOfResources, Exception)

#undef QUELLORA_EXCEPTION

// printf-style formatting of an exception message ("Cannot open file %s").
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace quellora
