#include "ui/About.h"

#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/dialogs.h"
#include "ui/icons.h"

namespace tolvane {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(298, 190);
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);

  auto* panel = new QFrame(this);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  ProgramIcon = new QLabel(panel);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  ProgramIcon->setFixedSize(109, 91);
  ProgramIcon->setPixmap(DrawnPicture(IconKind::kTwoPictures, 128));
  ProgramIcon->setScaledContents(true);
  ProductName = new QLabel(QStringLiteral("Tolvane"), panel);
  ProductName->setObjectName(QStringLiteral("ProductName"));
  ProductName->setStyleSheet(QStringLiteral("color: navy; font-weight: bold;"));
  Version = new QLabel(QStringLiteral("Version 1.0"), panel);
  Version->setObjectName(QStringLiteral("Version"));
  auto* panel_layout = new QGridLayout(panel);
  panel_layout->addWidget(ProgramIcon, 0, 0, 2, 1, Qt::AlignTop | Qt::AlignLeft);
  panel_layout->addWidget(ProductName, 0, 1);
  panel_layout->addWidget(Version, 1, 1);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
}

// Centred on the screen rather than over the main window.
void TAboutBox::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) CentreOnOwnersScreen(this);
  QDialog::showEvent(event);
}

}  // namespace tolvane
