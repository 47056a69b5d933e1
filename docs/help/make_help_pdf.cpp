// make_help_pdf: turns the user manual, Markdown with screenshots beside it, into an A4 PDF
// with numbered pages. Needs no display: run it with QT_QPA_PLATFORM=offscreen.
//
//   make_help_pdf MANUAL.md OUTPUT.pdf
//
// Images are looked up relative to the Markdown file; one that cannot be read fails the run,
// so that a broken reference never reaches the manual. An image alone in its paragraph is
// centred and gets its alternative text as a caption.
#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The document's own unit: pixels at 96 dots per inch (fixed by Qt::AA_Use96Dpi in main).
constexpr double kDocumentDpi = 96;
// QTextDocument::print lays a document without a page size out inside margins of its own,
// 2 cm rounded down to whole pixels, and numbers the pages at the bottom. The PDF page itself
// therefore keeps no margin.
constexpr int kPrintMargin = int(2 / 2.54 * kDocumentDpi);
constexpr int kBodyPointSize = 10;
// Screenshots are shown at most this part of the text width, so that two fit on a page with
// their text; the PDF keeps every pixel for zooming in.
constexpr double kImageWidthShare = 0.75;

int Fail(const QString& message) {
  std::fprintf(stderr, "make_help_pdf: %s\n", qPrintable(message));
  return 1;
}

QSizeF PageInDocumentUnits(const QPageLayout& layout) {
  return layout.fullRectPoints().size() / 72.0 * kDocumentDpi;
}

bool HoldsOnlyAnImage(const QTextBlock& block) {
  return block.text() == QString(QChar::ObjectReplacementCharacter);
}

struct Placed {
  int position;
  QTextImageFormat format;
};

QList<Placed> FindImages(const QTextDocument& document) {
  QList<Placed> images;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (fragment.charFormat().isImageFormat()) {
        images.append({fragment.position(), fragment.charFormat().toImageFormat()});
      }
    }
  }
  return images;
}

void AddCaption(QTextCursor& cursor, const QString& text) {
  QTextBlockFormat centred;
  centred.setAlignment(Qt::AlignHCenter);
  cursor.mergeBlockFormat(centred);
  QTextBlockFormat caption = centred;
  caption.setTopMargin(2);
  caption.setBottomMargin(10);
  QTextCharFormat italic;
  italic.setFontItalic(true);
  italic.setFontPointSize(kBodyPointSize - 1);
  cursor.movePosition(QTextCursor::EndOfBlock);
  cursor.insertBlock(caption, italic);
  cursor.insertText(text, italic);
}

// Registers every image the Markdown refers to, scales down the ones too wide for the text and
// captions the ones that stand alone. Returns the name of an image that cannot be read, or an
// empty string.
QString PlaceImages(QTextDocument& document, const QDir& base, double text_width) {
  const QList<Placed> images = FindImages(document);
  // Last first, so that the captions inserted do not move the images still to come.
  for (auto placed = images.rbegin(); placed != images.rend(); ++placed) {
    QTextImageFormat format = placed->format;
    const QString name = format.name();
    const QImage image(base.filePath(QUrl(name).path()));
    if (image.isNull()) return name;
    document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    const double scale = std::min(1.0, text_width * kImageWidthShare / image.width());
    format.setWidth(image.width() * scale);
    format.setHeight(image.height() * scale);
    QTextCursor cursor(&document);
    cursor.setPosition(placed->position);
    cursor.setPosition(placed->position + 1, QTextCursor::KeepAnchor);
    cursor.setCharFormat(format);
    const QString caption = format.stringProperty(QTextFormat::ImageAltText);
    if (HoldsOnlyAnImage(cursor.block()) && !caption.isEmpty()) AddCaption(cursor, caption);
  }
  return {};
}

// Air around headings and between paragraphs; list items and table cells keep their own.
void SpaceBlocks(QTextDocument& document) {
  QTextCursor cursor(&document);
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat format = block.blockFormat();
    const int level = format.headingLevel();
    if (level > 0) {
      format.setTopMargin(level <= 2 ? 14 : 10);
      format.setBottomMargin(4);
    } else if (!block.textList() && !QTextCursor(block).currentTable() &&
               format.alignment() != Qt::AlignHCenter) {
      format.setBottomMargin(5);
    }
    cursor.setPosition(block.position());
    cursor.setBlockFormat(format);
  }
}

// A shaded header row and a thin rule under every row instead of the default double borders.
void StyleTables(QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (table == nullptr) continue;
    QTextTableFormat format = table->format();
    format.setBorderCollapse(true);
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(3);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    if (table->columns() == 2) {
      // A term and its explanation: the explanation gets the room.
      format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 36),
                                        QTextLength(QTextLength::PercentageLength, 64)});
    }
    table->setFormat(format);
    for (int row = 0; row < table->rows(); ++row) {
      for (int column = 0; column < table->columns(); ++column) {
        QTextTableCell cell = table->cellAt(row, column);
        QTextTableCellFormat cell_format = cell.format().toTableCellFormat();
        cell_format.setBottomBorder(1);
        cell_format.setBottomBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        cell_format.setBottomBorderBrush(QColor(190, 190, 190));
        if (row == 0) cell_format.setBackground(QColor(232, 236, 242));
        cell.setFormat(cell_format);
      }
    }
  }
}

// The page (from 0) on which a point of the laid-out document falls.
int PageOf(double y, double page_height) { return int(std::floor(y / page_height)); }

// Whether a block belongs on the same page as the one after it: a heading and its text, a
// picture and its caption.
bool KeepsWithNext(const QTextBlock& block) {
  return block.blockFormat().headingLevel() > 0 || HoldsOnlyAnImage(block);
}

// Moves a heading or a picture that would end a page to the next one, beside what follows it.
// The document is laid out on the printed page for this; each move shifts what comes after,
// so the blocks are looked at in order with the layout brought up to date as it goes.
void KeepTogether(QTextDocument& document, const QSizeF& page) {
  QTextFrameFormat root = document.rootFrame()->frameFormat();
  root.setMargin(kPrintMargin);
  document.rootFrame()->setFrameFormat(root);
  document.setPageSize(page);
  QAbstractTextDocumentLayout* layout = document.documentLayout();
  QTextCursor cursor(&document);
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const QTextBlock next = block.next();
    if (!KeepsWithNext(block) || !next.isValid()) continue;
    const double top = layout->blockBoundingRect(block).top();
    const double next_top = layout->blockBoundingRect(next).top();
    const int lines = block.layout()->lineCount();
    if (lines == 0 || next.layout()->lineCount() == 0) continue;
    const double last_line = top + block.layout()->lineAt(lines - 1).y();
    const double first_line_end = next_top + next.layout()->lineAt(0).rect().bottom();
    if (PageOf(first_line_end, page.height()) > PageOf(last_line, page.height())) {
      QTextBlockFormat format;
      format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
      cursor.setPosition(block.position());
      cursor.mergeBlockFormat(format);
      // Lays the whole document out again before the next block is looked at.
      document.pageCount();
    }
  }
  // Without a page size of its own, print() paginates and numbers the pages itself.
  document.setPageSize(QSizeF());
}

// Lays the manual out for a page of the given size in document pixels. Returns why it cannot
// be built, or an empty string.
QString BuildDocument(QTextDocument& document, const QString& markdown_path, const QSizeF& page) {
  QFile markdown(markdown_path);
  if (!markdown.open(QIODevice::ReadOnly)) return "cannot read " + markdown_path;
  QFont font(QStringLiteral("DejaVu Sans"), kBodyPointSize);
  if (QFontInfo(font).family() != font.family()) {
    std::fprintf(stderr, "make_help_pdf: DejaVu Sans is not installed, using %s\n",
                 qPrintable(QFontInfo(font).family()));
  }
  document.setDefaultFont(font);
  document.setMarkdown(QString::fromUtf8(markdown.readAll()), QTextDocument::MarkdownDialectGitHub);
  const QString missing = PlaceImages(document, QFileInfo(markdown_path).absoluteDir(),
                                      page.width() - 2 * kPrintMargin);
  if (!missing.isEmpty()) return "cannot read the image " + missing;
  SpaceBlocks(document);
  StyleTables(document);
  KeepTogether(document, page);
  return {};
}

int Run(const QString& markdown_path, const QString& pdf_path) {
  QSaveFile out(pdf_path);
  if (!out.open(QIODevice::WriteOnly)) return Fail("cannot write " + pdf_path);
  QPdfWriter writer(&out);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
  writer.setTitle(QStringLiteral("Tolvane Help"));
  writer.setCreator(QStringLiteral("Tolvane"));
  QTextDocument document;
  const QString problem =
      BuildDocument(document, markdown_path, PageInDocumentUnits(writer.pageLayout()));
  if (!problem.isEmpty()) return Fail(problem);
  document.print(&writer);
  // The file is complete once the printing painter has ended; only then does it replace the
  // old one.
  if (!out.commit()) return Fail("cannot write " + pdf_path + ": " + out.errorString());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 3) return Fail("usage: make_help_pdf MANUAL.md OUTPUT.pdf");
  return Run(args[1], args[2]);
}
