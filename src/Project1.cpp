// Start-up of the window application.
#include <QApplication>
#include <QMessageBox>

#include "platform/file_ops.h"
#include "platform/message_sink.h"
#include "ui/About.h"
#include "ui/Unit1.h"
#include "ui/ViewUnit.h"

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
  WindowMessages messages;
  tolvane::MessageSink* previous = tolvane::SetMessageSink(&messages);

  tolvane::TConvertorForm form;
  tolvane::TAboutBox about(&form);
  tolvane::TViewForm view(&form);
  form.SetSecondaryWindows(&about, &view);
  form.show();
  const int result = QApplication::exec();
  tolvane::SetMessageSink(previous);
  return result;
}
