#include "ui/dialogs.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QProcess>

namespace tolvane {
namespace {

class QtDialogs final : public Dialogs {
 public:
  std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title,
                                       const QStringList& filters) override {
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
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

}  // namespace tolvane
