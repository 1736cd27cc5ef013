#pragma once
// Windows of the program. A form's creation handler runs while the form is
// created (the derived constructor calls Create() last); its show handler runs
// every time the form becomes visible. Dialog forms are modeless, stay above
// the main window, are centred on it at every show, and share one key-press
// handler between the form and its controls.

#include <QWidget>

namespace quellora {

// The top-left corner for a window of `wanted`'s size that keeps it within
// `available` (its screen less panels): `wanted`'s own where it fits, else
// moved the least; a window wider or taller than the area goes to its left
// or top edge, so that the top-left part, where it is dragged, shows.
QPoint PlaceOnScreen(const QRect& wanted, const QRect& available);

// Moves `window` to `place` on the screen under that point, or as near as
// PlaceOnScreen allows.
void MoveOntoScreen(QWidget* window, const QPoint& place);

class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // True while the form reads its stored definition: from construction
    // until Create() runs the creation handler.
    bool Loading() const { return loading_; }
    // Loading() of the form that holds `control`; false outside forms.
    static bool FormLoading(const QWidget* control);

protected:
    // Runs FormCreate through the error report; the form is created even when it fails.
    void Create();

    virtual void FormCreate() {}
    virtual void FormShow() {}
    virtual void FormClose() {}

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool loading_ = true;
};

class TDialogForm : public TForm {
    Q_OBJECT
public:
    explicit TDialogForm(QWidget* mainForm);

    // The shared key-press handler also sees the keys typed into `control`.
    void ShareKeyPress(QWidget* control);

    // Delivers one character to the shared key-press handler, as typing it would.
    void KeyPress(char key);

protected:
    // Key is the typed character (27 Escape, 13 Enter); set it to 0 to swallow it.
    virtual void FormKeyPress(char& key) {}

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool dispatchKey(QKeyEvent* event);
};

// Applies the look every dialog of the program shares: grey background,
// fixed size, no system buttons.
void ApplyDialogLook(QWidget* form, int clientWidth, int clientHeight);

} // namespace quellora
