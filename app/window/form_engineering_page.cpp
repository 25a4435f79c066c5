#include "app/window/form_engineering_page.h"

#include "app/window/main_form.h"
#include "app/window/post_to_form.h"

#include <QPushButton>

void FormEngineeringPage::log(const std::string& line) { form_.AddMessage(QString::fromStdString(line), 1); }

void FormEngineeringPage::enableEraseButton()
{
    postToForm(form_, [&form = form_] { form.EraseBtn->setEnabled(true); });
}

void FormEngineeringPage::enableResetButton()
{
    postToForm(form_, [&form = form_] { form.Reset_DevBtn->setEnabled(true); });
}
