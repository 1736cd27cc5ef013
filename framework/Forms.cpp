#include "Forms.h"

#include "Accessibility.h"
#include "Application.h"
#include "Handler.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

namespace quellora {

QPoint PlaceOnScreen(const QRect& wanted, const QRect& available)
{
    const auto fit = [](int at, int length, int start, int room) {
        return std::max(start, std::min(at, start + room - length));
    };
    return {fit(wanted.x(), wanted.width(), available.x(), available.width()),
            fit(wanted.y(), wanted.height(), available.y(), available.height())};
}

void MoveOntoScreen(QWidget* window, const QPoint& place)
{
    const QScreen* screen = QGuiApplication::screenAt(place);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window->move(place);
        return;
    }
    QRect available = screen->availableGeometry();
    // At a fractional scale the area's size in logical pixels is rounded, up
    // as often as down: a pixel less keeps the window's edge on the screen.
    const qreal ratio = screen->devicePixelRatio();
    if (ratio != std::floor(ratio))
        available.adjust(0, 0, -1, -1);
    window->move(PlaceOnScreen(QRect(place, window->size()), available));
}

TForm::TForm(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    InstallFrameworkAccessibility();
    Application().RegisterForm(this);
}

bool TForm::FormLoading(const QWidget* control)
{
    const auto* form = control ? qobject_cast<const TForm*>(control->window()) : nullptr;
    return form && form->Loading();
}

void TForm::Create()
{
    loading_ = false;
    RunHandler([this] { FormCreate(); });
}

void TForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from the minimised state is not shown anew.
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TForm::closeEvent(QCloseEvent* event)
{
    RunHandler([this] { FormClose(); });
    QWidget::closeEvent(event);
}

TDialogForm::TDialogForm(QWidget* mainForm)
    : TForm(mainForm, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
}

void TDialogForm::ShareKeyPress(QWidget* control)
{
    control->installEventFilter(this);
}

void TDialogForm::KeyPress(char key)
{
    RunHandler([&] { FormKeyPress(key); });
}

void TDialogForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && parentWidget()) {
        const QRect owner = parentWidget()->frameGeometry();
        move(owner.center() - QPoint(width() / 2, height() / 2));
    }
    TForm::showEvent(event);
}

bool TDialogForm::dispatchKey(QKeyEvent* event)
{
    char key = 0;
    if (event->key() == Qt::Key_Escape)
        key = 27;
    else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        key = 13;
    else if (event->text().size() == 1 && event->text().at(0).unicode() < 128)
        key = char(event->text().at(0).unicode());
    if (key == 0)
        return false;
    const char typed = key;
    RunHandler([&] { FormKeyPress(key); });
    // Escape and Enter never reach the control once the handler has seen them.
    return key == 0 || typed == 27 || typed == 13;
}

bool TDialogForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        return dispatchKey(static_cast<QKeyEvent*>(event));
    return TForm::eventFilter(watched, event);
}

void TDialogForm::keyPressEvent(QKeyEvent* event)
{
    if (!dispatchKey(event))
        TForm::keyPressEvent(event);
}

void ApplyDialogLook(QWidget* form, int clientWidth, int clientHeight)
{
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    form->setPalette(pal);
    form->setAutoFillBackground(true);
    form->setFixedSize(clientWidth, clientHeight);
}

} // namespace quellora
