#include "platform/message_sink.h"

#include <cstdio>

namespace tolvane {
namespace {

class StderrSink final : public MessageSink {
 public:
  void Message(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void Beep() override {}
};

StderrSink g_stderr_sink;
MessageSink* g_sink = &g_stderr_sink;
thread_local MessageSink* t_sink = nullptr;

}  // namespace

MessageSink* SetMessageSink(MessageSink* sink) {
  MessageSink* previous = g_sink;
  g_sink = sink ? sink : &g_stderr_sink;
  return previous;
}

MessageSink& Messages() { return t_sink != nullptr ? *t_sink : *g_sink; }

ThreadMessageSink::ThreadMessageSink(MessageSink& sink) : previous_(t_sink) { t_sink = &sink; }

ThreadMessageSink::~ThreadMessageSink() { t_sink = previous_; }

}  // namespace tolvane
