#include "Unit3.h"

#include "ui_Unit3.h"

namespace quellora {

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* mainForm) : TDialogForm(mainForm), ui(new Ui::Form3)
{
    ui->setupUi(this);
    ApplyDialogLook(this, width(), height());
    Create();
}

TForm3::~TForm3()
{
    delete ui;
}

void TForm3::FormKeyPress(char& key)
{
    if (key == 27)
        hide();
}

} // namespace quellora
