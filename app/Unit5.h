#pragma once
// The About box: product line, credits, a still mascot and four links.

#include "Forms.h"

#include <string>

namespace Ui {
class Form5;
}

namespace quellora {

class TForm5 : public TDialogForm {
    Q_OBJECT
public:
    explicit TForm5(QWidget* mainForm);
    ~TForm5() override;

    void Label5Click();
    void Label7Click();
    void Label8Click();
    void Label9Click();
    void Button1Click();

    // What a click on a link label hands to the shell.
    static std::string MailLink(const std::string& address);

    Ui::Form5* ui;

protected:
    void FormKeyPress(char& key) override;
    void showEvent(QShowEvent* event) override;

private:
    void openLink(const std::string& link);
};

extern TForm5* Form5;

} // namespace quellora
