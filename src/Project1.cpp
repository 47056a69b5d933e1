// Start-up of the window application.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

#include "platform/file_ops.h"
#include "platform/message_sink.h"
#include "ui/About.h"
#include "ui/Unit1.h"
#include "ui/ViewUnit.h"
#include "ui/app_identity.h"

namespace {

// Codec messages and beeps reach the user as they would from any window of the application.
class WindowMessages final : public tolvane::MessageSink {
 public:
  void Message(const std::string& text, const std::string& caption) override {
    QMessageBox::information(QApplication::activeWindow(), tolvane::ShownText(caption),
                             tolvane::ShownText(text));
  }
  void Beep() override { QApplication::beep(); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tolvane::RemoveTemporariesOnSignals();
  QApplication::setApplicationName(QStringLiteral("Tolvane"));
  tolvane::SetApplicationIdentity();
  WindowMessages messages;
  tolvane::MessageSink* previous = tolvane::SetMessageSink(&messages);

  tolvane::TConvertorForm form;
  tolvane::TAboutBox about(&form);
  tolvane::TViewForm view(&form);
  form.SetSecondaryWindows(&about, &view);
  form.show();
  // Files named on the command line, as a file manager's "Open with" names them.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QFile::decodeName(argv[i]);
  for (const QString& refused : form.AddCommandLineFiles(arguments)) {
    std::fprintf(stderr, "tolvane: %s\n", QFile::encodeName(refused).constData());
  }
  const int result = QApplication::exec();
  tolvane::SetMessageSink(previous);
  return result;
}
