#pragma once
// The two modal message boxes of the program: the default error report that
// shows what escaped a handler, and the message dialog of the error type.
// Tests install a sink so that no modal box blocks them.

#include <functional>
#include <string>

namespace quellora {

// The text the default error report shows: the message with a full stop
// appended when its last character sorts after ".".
std::string ErrorReportText(const std::string& message);

// Modal box: caption "Quellora" (the application title), error icon, one "OK".
void ShowErrorReport(const std::string& message);

// Modal box: caption "Error", error icon, one "OK".
void MessageDlgError(const std::string& message);

enum class DialogKind { ErrorReport, ErrorMessage };

// Where the boxes go instead of the screen; nullptr restores the real boxes.
using DialogSink = std::function<void(DialogKind, const std::string& caption, const std::string& text)>;
void SetDialogSink(DialogSink sink);

} // namespace quellora
