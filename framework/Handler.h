#pragma once
// Every event handler of the program runs through RunHandler: whatever
// escapes it is shown by the default error report, and the program goes on.
// Exceptions never unwind through Qt's frames.

#include "Dialogs.h"
#include "Exceptions.h"

#include <QObject>
#include <utility>

namespace quellora {

template <typename F>
void RunHandler(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception& e) {
        try {
            ShowErrorReport(e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            ShowErrorReport("Unknown exception");
        } catch (...) {
        }
    }
}

// Connects a signal to a handler that runs through RunHandler. The handler
// takes no arguments; the signal's arguments are dropped.
template <typename Sender, typename Signal, typename F>
QMetaObject::Connection ConnectHandler(Sender* sender, Signal signal, QObject* context, F handler)
{
    return QObject::connect(sender, signal, context, [h = std::move(handler)]() { RunHandler(h); });
}

} // namespace quellora
