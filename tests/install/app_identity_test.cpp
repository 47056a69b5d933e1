// The window's identity as installed: its manual found from the installed bin folder, its
// icon and its desktop entry name. Runs after install_destdir, which leaves the installation
// at $TOLVANE_INSTALLED.
#include "ui/app_identity.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString Installed() { return qEnvironmentVariable("TOLVANE_INSTALLED"); }

}  // namespace

class AppIdentityTest : public QObject {
  Q_OBJECT
 private slots:
  void manualIsFoundFromTheInstalledBin() {
    QVERIFY2(!Installed().isEmpty(), "TOLVANE_INSTALLED is not set");
    const QString found = tolvane::ManualPathFrom(Installed() + QStringLiteral("/bin"));
    QVERIFY2(QFile::exists(found), qPrintable(found));
    QCOMPARE(found,
             QDir::cleanPath(Installed() + QStringLiteral("/share/tolvane/Tolvane_help.pdf")));
  }

  // A build tree: the manual beside the executable wins over an installed one.
  void manualBesideTheExecutableComesFirst() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("share/tolvane")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    for (const QString& name : {QStringLiteral("bin/Tolvane_help.pdf"),
                                QStringLiteral("share/tolvane/Tolvane_help.pdf")}) {
      QFile file(dir.filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(tolvane::ManualPathFrom(dir.filePath(QStringLiteral("bin"))),
             dir.filePath(QStringLiteral("bin/Tolvane_help.pdf")));
  }

  void iconDesktopEntryAndWindowClassAreSet() {
    tolvane::SetApplicationIdentity();
    const QString entry = Installed() + QStringLiteral("/share/applications/") +
                          QGuiApplication::desktopFileName() + QStringLiteral(".desktop");
    QFile file(entry);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(entry));
    // On X11 the menu entry finds its windows by their class, which is the application name.
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QVERIFY(
        lines.contains(QStringLiteral("StartupWMClass=") + QCoreApplication::applicationName()));
    const QIcon icon = QApplication::windowIcon();
    for (const int size : {16, 32, 48, 256}) {
      QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
               qPrintable(QString::number(size)));
      QVERIFY(!icon.pixmap(size).isNull());
    }
  }
};

QTEST_MAIN(AppIdentityTest)
#include "app_identity_test.moc"
