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

// Sends the calling thread's messages to `sink` while it lives (the run's workers record what
// each file says, to be delivered later in list order). Other threads keep the current sink.
class ThreadMessageSink {
 public:
  explicit ThreadMessageSink(MessageSink& sink);
  ~ThreadMessageSink();
  ThreadMessageSink(const ThreadMessageSink&) = delete;
  ThreadMessageSink& operator=(const ThreadMessageSink&) = delete;

 private:
  MessageSink* previous_;
};

}  // namespace tolvane
