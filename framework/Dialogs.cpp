#include "Dialogs.h"
#include "QtText.h"

#include "Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace quellora {

namespace {
DialogSink& sink()
{
    static DialogSink s;
    return s;
}

void showBox(DialogKind kind, const std::string& caption, const std::string& text)
{
    if (sink()) {
        sink()(kind, caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, ToQString(caption), ToShownText(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    // Messages carry file names and "<Skin>": text, never markup.
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(kind == DialogKind::ErrorReport ? "ErrorReport" : "ErrorMessage");
    box.button(QMessageBox::Ok)->setText("OK");
    box.exec();
}
} // namespace

std::string ErrorReportText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void ShowErrorReport(const std::string& message)
{
    showBox(DialogKind::ErrorReport, TApplication::Instance().Title(), ErrorReportText(message));
}

void MessageDlgError(const std::string& message)
{
    showBox(DialogKind::ErrorMessage, "Error", message);
}

void SetDialogSink(DialogSink s)
{
    sink() = std::move(s);
}

} // namespace quellora
