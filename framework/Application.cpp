#include "Application.h"
#include "QtText.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

namespace quellora {

TApplication& TApplication::Instance()
{
    static TApplication app;
    return app;
}

void TApplication::Initialize()
{
    // The windows are laid out for these faces; take the metric-compatible
    // free faces where they are missing.
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("Arial", "Liberation Sans");
    terminated_ = false;
    minimized_ = false;
}

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    QApplication::setApplicationName(ToQString(title));
    QApplication::setApplicationDisplayName(ToQString(title));
}

void TApplication::RegisterForm(QWidget* form)
{
    if (!mainForm_)
        mainForm_ = form;
    ++formCount_;
}

void TApplication::Terminate()
{
    terminated_ = true;
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TApplication::Minimize()
{
    if (minimized_)
        return;
    minimized_ = true;
    if (mainForm_)
        mainForm_->showMinimized();
    emit OnMinimize();
}

void TApplication::Restore()
{
    if (!minimized_)
        return;
    minimized_ = false;
    if (mainForm_) {
        mainForm_->showNormal();
        mainForm_->raise();
        mainForm_->activateWindow();
    }
    emit OnRestore();
}

int TApplication::Run()
{
    if (terminated_) {
        // A quit request posted before the loop runs is taken at its first turn.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    if (mainForm_)
        mainForm_->show();
    return QApplication::exec();
}

void TApplication::Reset()
{
    mainForm_ = nullptr;
    formCount_ = 0;
    terminated_ = false;
    minimized_ = false;
}

} // namespace quellora
