// One program for all window tests; each file contributes one test class.
#include <QApplication>

int RunWindowTests(int argc, char** argv);
int RunPagesTests(int argc, char** argv);
int RunCompareWindowTests(int argc, char** argv);
int RunSettingsPagesTests(int argc, char** argv);
int RunHelpScreensTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = RunWindowTests(argc, argv);
  failures += RunPagesTests(argc, argv);
  failures += RunCompareWindowTests(argc, argv);
  failures += RunSettingsPagesTests(argc, argv);
  failures += RunHelpScreensTests(argc, argv);
  return failures;
}
