#include "ui/image_list.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <cmath>

#include "formats/codecs.h"

namespace tolvane {
namespace {

QLocale UserLocale() {
  QLocale locale = QLocale::system();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale;
}

}  // namespace

QString FileSizeText(const QString& path) {
  const QFileInfo info(path);
  const long long size = info.exists() ? info.size() : -1;
  // Thousandths of a MB, halves to even (the default rounding mode).
  const long long thousandths =
      static_cast<long long>(std::nearbyint(static_cast<double>(size * 1000) / 1048576.0));
  return UserLocale().toString(static_cast<double>(thousandths) / 1000.0, 'f',
                               QLocale::FloatingPointShortest);
}

QDateTime ZeroDateTime() { return QDateTime(QDate(1899, 12, 30), QTime(0, 0)); }

QDateTime FileDateTime(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() || info.isDir()) return ZeroDateTime();
  const QDateTime modified = info.lastModified().toLocalTime();
  const QTime t = modified.time();
  return QDateTime(modified.date(), QTime(t.hour(), t.minute(), t.second() & ~1));
}

QString DateTimeText(const QDateTime& value) {
  const QLocale locale = QLocale::system();
  const QString date = locale.toString(value.date(), QLocale::ShortFormat);
  if (value.time() == QTime(0, 0)) return date;
  // The long format may name the time zone, which the column has no use for.
  const QString time_format = locale.timeFormat(QLocale::LongFormat).remove(QLatin1Char('t'));
  return date + QLatin1Char(' ') + locale.toString(value.time(), time_format.trimmed());
}

bool AcceptedDropPath(const QString& path) {
  const QFileInfo info(path);
  return IsReadableImageName(QFile::encodeName(info.fileName()).toStdString()) && !info.isDir();
}

}  // namespace tolvane
