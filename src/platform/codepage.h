#pragma once
// The system's texts are 8-bit strings in its ANSI code page, Windows-1251 (the PSD reader's
// "invalid file" message is such a text). Where a text is shown (the window, tolvane-batch's
// stderr) it is turned into UTF-8 here.
#include <string>
#include <string_view>

namespace tolvane {

// Every byte read as Windows-1251; the one unassigned byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

bool IsValidUtf8(std::string_view text);

// A text for showing: left as it is when it already is UTF-8 (ASCII messages, file names on
// this system), otherwise read as Windows-1251.
std::string DisplayText(std::string_view text);

// A UTF-8 text with its control characters (C0, DEL and C1) written as \n, \r, \t or \xHH, and
// backslashes doubled: a file name can then never start a line of its own, move the cursor or
// pass for the escape of another name.
std::string EscapeControls(std::string_view text);

}  // namespace tolvane
