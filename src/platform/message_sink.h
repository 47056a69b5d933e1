#pragma once
#include <string>

namespace tolvane {

// Where codecs send what would be a message box or a beep: the window shows a box, the batch
// front-end prints to stderr, tests record.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Message(const std::string& text, const std::string& caption) = 0;
  virtual void Beep() = 0;
};

// The current sink (stderr until a front-end installs its own). Returns the previous one.
MessageSink* SetMessageSink(MessageSink* sink);
MessageSink& Messages();

}  // namespace tolvane
