#include "ui/dialogs.h"

#include <QColorDialog>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QProcess>
#include <QScreen>
#include <QWidget>

namespace tolvane {
namespace {

class QtDialogs final : public Dialogs {
 public:
  std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title,
                                       const QStringList& filters) override {
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedFiles();
  }

  std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                      const QString& initial) override {
    const QString folder = QFileDialog::getExistingDirectory(parent, title, initial);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
  }

  std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) override {
    const QColor colour = QColorDialog::getColor(initial, parent);
    if (!colour.isValid()) return std::nullopt;
    return colour;
  }

  void Message(QWidget* parent, const QString& text, const QString& caption,
               QMessageBox::Icon icon) override {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
  }

  bool OpenDocument(const QUrl& url) override {
    if (NoApplicationFor(url)) return false;
    return QDesktopServices::openUrl(url);
  }

  // Through the freedesktop notification service on the session bus. The call is not waited
  // for: without a session bus or a service, nothing is shown and nothing hangs.
  void Notify(const QString& summary, const QString& body) override {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The body is markup to some servers: the reasons are plain text.
    call << QStringLiteral("Tolvane") << 0U << QStringLiteral("tolvane") << summary
         << body.toHtmlEscaped() << QStringList() << QVariantMap() << -1;
    bus.asyncCall(call);
  }

 private:
  // The desktop starts its opener even when it has no application for the type, so ask it
  // first; when it cannot be asked, opening decides.
  static bool NoApplicationFor(const QUrl& url) {
    const QString type = QMimeDatabase().mimeTypeForFile(url.toLocalFile()).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0) {
      return false;
    }
    return query.readAllStandardOutput().trimmed().isEmpty();
  }
};

}  // namespace

std::unique_ptr<Dialogs> MakeQtDialogs() { return std::make_unique<QtDialogs>(); }

QString NameFilter(const QString& description, const QString& patterns) {
  QString spaced = patterns;
  spaced.replace(QLatin1Char(';'), QLatin1Char(' '));
  return description + QStringLiteral(" (") + spaced + QLatin1Char(')');
}

void CentreOnOwnersScreen(QWidget* window) {
  const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : window;
  const QScreen* screen = owner->screen();
  if (screen == nullptr) return;
  const QRect frame = window->frameGeometry();
  window->move(screen->availableGeometry().center() - (frame.center() - frame.topLeft()));
}

}  // namespace tolvane
