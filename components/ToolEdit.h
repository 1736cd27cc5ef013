#pragma once
// TDirectoryEdit: a one-line edit with a browse button at its right end that
// opens a folder chooser. The text is a directory path as bytes; a confirmed
// folder replaces it and is remembered as InitialDir.
// Tests install a script that answers instead of the user.

#include <QKeySequence>
#include <QLineEdit>
#include <functional>
#include <optional>
#include <string>

class QToolButton;

namespace quellora {

struct TBrowseRequest {
    std::string startDir; // an existing directory, "/" at the least
    std::string title;
};

class TDirectoryEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDirectoryEdit(QWidget* parent = nullptr);

    // The text as bytes; a path set here comes back unchanged while the
    // shown text is not edited, even when it is not valid UTF-8.
    std::string Text() const;
    void SetText(const std::string& text);

    std::string InitialDir;
    std::string DialogText;
    // The key that opens the chooser from the edit; an empty sequence opens it by the button only.
    QKeySequence ClickKey{Qt::ALT | Qt::Key_Down};

    QToolButton* Button() const { return button_; }

    // What a click on the browse button does.
    void DoClick();

    using Script = std::function<std::optional<std::string>(const TBrowseRequest&)>;
    static void SetScript(Script script);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::string startDir() const;
    std::optional<std::string> choose(const TBrowseRequest& request);

    QToolButton* button_;
    std::string bytes_;
    QString shown_;
};

} // namespace quellora
