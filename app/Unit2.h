#pragma once

#include "Forms.h"

namespace Ui {
class Form2;
}

namespace quellora {

class TForm2 : public TDialogForm {
    Q_OBJECT
public:
    explicit TForm2(QWidget* mainForm);
    ~TForm2() override;

    Ui::Form2* ui;

protected:
    void FormKeyPress(char& key) override;
};

extern TForm2* Form2;

} // namespace quellora
