// One program for all window tests; each file contributes one test class.
#include <QApplication>

int RunWindowTests(int argc, char** argv);
int RunPagesTests(int argc, char** argv);
int RunCompareWindowTests(int argc, char** argv);
int RunSettingsPagesTests(int argc, char** argv);
int RunHelpScreensTests(int argc, char** argv);
int RunWindowDetailsTests(int argc, char** argv);

// fontconfig, loaded by Qt for text drawn into pictures and dialogs, keeps a few font patterns
// for the life of the process and drops its pointers to them; LeakSanitizer would report them
// at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = RunWindowTests(argc, argv);
  failures += RunPagesTests(argc, argv);
  failures += RunCompareWindowTests(argc, argv);
  failures += RunSettingsPagesTests(argc, argv);
  failures += RunWindowDetailsTests(argc, argv);
  failures += RunHelpScreensTests(argc, argv);
  return failures;
}
