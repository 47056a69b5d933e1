#pragma once
#include <QString>
#include <QStringList>

namespace tolvane {

// How a run went, told as the run tells the window of each entry: "20 converted, 1 failed" for
// the status line, and every failed entry with its reason for whoever wants them in full.
class RunSummary {
 public:
  void Start(int entries);
  void Converted();
  // An entry without output; `name` as the list shows it.
  void Failed(const QString& name, const QString& reason);
  // A converted entry whose source a Move could not delete: the Move failed for it.
  void SourceKept(const QString& name, const QString& reason);

  QString StatusText() const;
  // One line per problem, in the run's order; empty when there was none.
  QString Details() const;

 private:
  int entries_ = 0;
  int converted_ = 0;
  QStringList problems_;
  int failed_ = 0;
};

}  // namespace tolvane
