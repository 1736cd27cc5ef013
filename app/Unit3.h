#pragma once

#include "Forms.h"

namespace Ui {
class Form3;
}

namespace quellora {

class TForm3 : public TDialogForm {
    Q_OBJECT
public:
    explicit TForm3(QWidget* mainForm);
    ~TForm3() override;

    Ui::Form3* ui;

protected:
    void FormKeyPress(char& key) override;
};

extern TForm3* Form3;

} // namespace quellora
