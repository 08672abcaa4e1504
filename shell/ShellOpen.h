#pragma once

// The Windows shell call behind the link opener. Free of Qt so that it builds alone, also with a cross
// compiler on a machine that cannot run it.
namespace ShellOpen {

// Opens `url`, an encoded address (ASCII), with ShellExecuteA, the shell's ANSI entry point: owner none,
// verb "open", an empty parameter string, the program's folder as the working folder and show command 0.
// The function is looked up in shell32.dll by name at the first call and kept. Its result is ignored.
void open(const char* url);

} // namespace ShellOpen
