#include "ui/run_summary.h"

namespace tolvane {

namespace {
// A tool tip taller than the screen is of no use; the status line says how many there were.
constexpr int kMaxDetailLines = 40;
}  // namespace

void RunSummary::Start(int entries) {
  *this = RunSummary();
  entries_ = entries;
}

void RunSummary::Converted() { ++converted_; }

void RunSummary::Failed(const QString& name, const QString& reason) {
  ++failed_;
  problems_ << name + QStringLiteral(": ") + reason;
}

void RunSummary::SourceKept(const QString& name, const QString& reason) {
  --converted_;
  Failed(name, reason);
}

QString RunSummary::StatusText() const {
  QString text = QStringLiteral("%1 converted").arg(converted_);
  if (failed_ > 0) text += QStringLiteral(", %1 failed").arg(failed_);
  const int reached = converted_ + failed_;
  if (reached < entries_) text += QStringLiteral(", %1 not reached").arg(entries_ - reached);
  return text;
}

QString RunSummary::Details() const {
  QStringList lines = problems_.mid(0, kMaxDetailLines);
  if (problems_.size() > kMaxDetailLines) {
    lines << QStringLiteral("... and %1 more").arg(problems_.size() - kMaxDetailLines);
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace tolvane
