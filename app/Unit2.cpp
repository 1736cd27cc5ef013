#include "Unit2.h"

#include "ui_Unit2.h"

namespace quellora {

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* mainForm) : TDialogForm(mainForm), ui(new Ui::Form2)
{
    ui->setupUi(this);
    ApplyDialogLook(this, width(), height());
    Create();
}

TForm2::~TForm2()
{
    delete ui;
}

void TForm2::FormKeyPress(char& key)
{
    if (key == 27)
        hide();
}

} // namespace quellora
