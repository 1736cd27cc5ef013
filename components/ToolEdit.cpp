#include "ToolEdit.h"

#include "Handler.h"
#include "Paths.h"
#include "QtText.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QStyle>
#include <QToolButton>

namespace quellora {

namespace {
TDirectoryEdit::Script& script()
{
    static TDirectoryEdit::Script s;
    return s;
}
} // namespace

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : QLineEdit(parent), button_(new QToolButton(this))
{
    button_->setObjectName("Button");
    button_->setAccessibleName("Browse");
    button_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    button_->setCursor(Qt::ArrowCursor);
    // The edit keeps the focus; the button is for the mouse.
    button_->setFocusPolicy(Qt::NoFocus);
    ConnectHandler(button_, &QToolButton::clicked, this, [this] { DoClick(); });
}

void TDirectoryEdit::SetScript(Script s)
{
    script() = std::move(s);
}

std::string TDirectoryEdit::Text() const
{
    return text() == shown_ ? bytes_ : FromQString(text());
}

void TDirectoryEdit::SetText(const std::string& text)
{
    bytes_ = text;
    shown_ = ToQString(text);
    setText(shown_);
}

std::string TDirectoryEdit::startDir() const
{
    std::string start = Text();
    if (start.empty())
        start = InitialDir.empty() ? "/" : InitialDir;
    return DirectoryExists(start) ? start : "/";
}

std::optional<std::string> TDirectoryEdit::choose(const TBrowseRequest& request)
{
    if (script())
        return script()(request);
    // Modal to the whole application, centred on the screen.
    QFileDialog dialog(nullptr, ToQString(request.title));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setDirectory(ToQString(request.startDir));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQString(dialog.selectedFiles().first());
}

void TDirectoryEdit::DoClick()
{
    QPointer<QWidget> active = QApplication::activeWindow();
    const std::optional<std::string> chosen = choose({startDir(), DialogText});
    if (active && active->isVisible())
        active->activateWindow();
    if (chosen) {
        std::string path = *chosen;
        if (path.size() > 1 && path.back() == '/')
            path.pop_back();
        SetText(path);
        if (DirectoryExists(path))
            InitialDir = path;
    }
    if (isEnabled() && isVisible())
        setFocus();
}

void TDirectoryEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    const int side = height();
    button_->setGeometry(width() - side, 0, side, side);
    setTextMargins(0, 0, side, 0);
}

void TDirectoryEdit::keyPressEvent(QKeyEvent* event)
{
    if (!ClickKey.isEmpty() && QKeySequence(event->keyCombination()) == ClickKey) {
        RunHandler([this] { DoClick(); });
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace quellora
