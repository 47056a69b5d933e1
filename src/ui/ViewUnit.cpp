#include "ui/ViewUnit.h"

namespace tolvane {

TViewForm::TViewForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ViewForm"));
  setWindowTitle(QStringLiteral("Images Compare"));
}

}  // namespace tolvane
