#include "ui/app_identity.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>

namespace tolvane {
namespace {

constexpr const char* kManualName = "Tolvane_help.pdf";
// The installed data folder relative to the installed bin folder, from the build's install
// directories (share/tolvane rather than share/doc: the Help command needs the manual, and
// Debian lets systems leave out /usr/share/doc).
constexpr const char* kDataFromBindir = TOLVANE_DATA_FROM_BINDIR;

}  // namespace

void SetApplicationIdentity() {
  // The PNG sizes are compiled in (data/CMakeLists.txt), so the icon needs no SVG plugin.
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/tolvane/icons/%1.png").arg(size), QSize(size, size));
  }
  QApplication::setWindowIcon(icon);
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

QString ManualPath() { return ManualPathFrom(QCoreApplication::applicationDirPath()); }

QString ManualPathFrom(const QString& executable_dir) {
  const QDir dir(executable_dir);
  const QString beside = dir.filePath(QString::fromLatin1(kManualName));
  if (QFileInfo::exists(beside)) return beside;
  return QDir::cleanPath(dir.filePath(QString::fromLatin1(kDataFromBindir) + QLatin1Char('/') +
                                      QString::fromLatin1(kManualName)));
}

}  // namespace tolvane
